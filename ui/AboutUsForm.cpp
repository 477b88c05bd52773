#include "ui/AboutUsForm.h"

#include "app/WebConfig.h"
#include "app/WebLinks.h"
#include "ui/AppStyle.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

AboutUsForm::AboutUsForm(QWidget* parent) : AboutUsForm(WebConfig::current(), parent) {}

AboutUsForm::AboutUsForm(const WebConfig& config, QWidget* parent) : QDialog(parent)
{
    AppStyle::applyDialogLook(this);
    setWindowTitle(tr("About"));

    auto* title =
        new QLabel(QStringLiteral("%1 v%2").arg(tr("Velliport"), QStringLiteral(VELLIPORT_VERSION)), this);
    title->setObjectName(QStringLiteral("lbTitle"));
    title->setAlignment(Qt::AlignCenter);

    auto* scene = new QGraphicsScene(this);
    const QPixmap picture(QStringLiteral(":main"));
    if (!picture.isNull())
        scene->addPixmap(picture.scaledToHeight(64, Qt::SmoothTransformation));
    auto* view = new QGraphicsView(scene, this);
    view->setObjectName(QStringLiteral("gvLogo"));
    view->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    view->setFixedHeight(72);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QLabel* link = nullptr;
    const QUrl home = WebLinks::homePage(config);
    if (!home.isEmpty()) {
        const QString address = home.toString(QUrl::FullyEncoded).toHtmlEscaped();
        link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address), this);
        link->setObjectName(QStringLiteral("lbLink"));
        link->setAlignment(Qt::AlignCenter);
        link->setTextFormat(Qt::RichText);
        link->setOpenExternalLinks(true);
    }

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->addWidget(title);
    layout->addWidget(view);
    if (link)
        layout->addWidget(link);
    layout->addLayout(buttons);
}

#include "ui/DataSourceSelForm.h"

#include "ui/AppStyle.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent), m_lbSelDevice(new QLabel(tr("IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER"), this)),
      m_cbDevice(new QComboBox(this)), m_btnOK(new QPushButton(tr("Confirm"), this)),
      m_btnClose(new QPushButton(tr("Cancel"), this))
{
    AppStyle::applyDialogLook(this);
    setWindowTitle(QStringLiteral("Dialog"));
    m_lbSelDevice->setObjectName(QStringLiteral("lbSelDevice"));
    m_lbSelDevice->setWordWrap(true);
    m_cbDevice->setObjectName(QStringLiteral("cbDevice"));
    m_cbDevice->setMinimumWidth(300);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnClose->setObjectName(QStringLiteral("btnClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_btnOK);
    buttons->addWidget(m_btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addWidget(m_lbSelDevice);
    layout->addWidget(m_cbDevice);
    layout->addLayout(buttons);

    connect(m_btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
    connect(m_btnClose, &QPushButton::pressed, this, &QDialog::reject);
}

QVariant DataSourceSelForm::select(const QString& title, const QList<Item>& items)
{
    m_lbSelDevice->setText(title);
    m_cbDevice->clear();
    for (const Item& item : items)
        m_cbDevice->addItem(QIcon(item.iconPath), item.text, item.value);
    m_cbDevice->setCurrentIndex(items.size() == 1 ? 0 : -1);
    if (exec() != QDialog::Accepted)
        return QVariant();
    return m_cbDevice->currentData();
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (m_cbDevice->currentIndex() < 0) {
        MessageBox::showWarning(UserText::plain(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE")), this);
        return;
    }
    accept();
}

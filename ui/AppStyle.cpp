#include "ui/AppStyle.h"

#include "ui/WinMovable.h"

#include <QFile>
#include <QWidget>

namespace AppStyle {

QString styleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":style.css"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }();
    return sheet;
}

void applyDialogLook(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setStyleSheet(styleSheet());
    new WinMovable(dialog);
}

} // namespace AppStyle

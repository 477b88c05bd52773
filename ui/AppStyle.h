#pragma once

#include <QString>

class QWidget;

// The one look every dialog and message box of the program shares.
namespace AppStyle {

// The program's style sheet, the resource ":style.css", read at the first call and kept
// for the whole run; empty when the resource is not compiled in.
QString styleSheet();

// Makes a dialog frameless, gives it the style sheet and lets the user drag it by any
// point that is not a control.
void applyDialogLook(QWidget* dialog);

} // namespace AppStyle

#pragma once

#include <QString>

class QWidget;

// The program's file dialogs. A test names the answer of the next dialog in advance
// (each answer is used once); in test mode a dialog without an answer is cancelled
// instead of shown.
class FileDialog
{
public:
    static QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                   const QString& filter, QString* selectedFilter = nullptr);
    static QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);

    static void setTestMode(bool enabled);
    // filter is what the dialog reports as the selected filter.
    static void setNextFileName(const QString& name, const QString& filter = QString());
    static void setNextDirectory(const QString& dir);
};

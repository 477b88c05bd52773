#include "ui/FileDialog.h"

#include <QFileDialog>

#include <optional>
#include <utility>

namespace {

struct FileDialogTestState
{
    bool enabled = false;
    std::optional<QString> fileName;
    QString filter;
    std::optional<QString> directory;
};

FileDialogTestState& fileDialogTestState()
{
    static FileDialogTestState state;
    return state;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, QString* selectedFilter)
{
    FileDialogTestState& test = fileDialogTestState();
    if (test.fileName) {
        const QString name = *std::exchange(test.fileName, std::nullopt);
        if (selectedFilter)
            *selectedFilter = test.filter;
        return name;
    }
    if (test.enabled)
        return QString();
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

QString FileDialog::getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    FileDialogTestState& test = fileDialogTestState();
    if (test.directory)
        return *std::exchange(test.directory, std::nullopt);
    if (test.enabled)
        return QString();
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

void FileDialog::setTestMode(bool enabled)
{
    FileDialogTestState& test = fileDialogTestState();
    test.enabled = enabled;
    test.fileName.reset();
    test.directory.reset();
}

void FileDialog::setNextFileName(const QString& name, const QString& filter)
{
    fileDialogTestState().fileName = name;
    fileDialogTestState().filter = filter;
}

void FileDialog::setNextDirectory(const QString& dir)
{
    fileDialogTestState().directory = dir;
}

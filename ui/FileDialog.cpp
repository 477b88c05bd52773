#include "ui/FileDialog.h"

#include <QFileDialog>

#include <optional>
#include <utility>

namespace {

struct TestState
{
    bool enabled = false;
    std::optional<QString> fileName;
    QString filter;
    std::optional<QString> directory;
};

TestState& testState()
{
    static TestState state;
    return state;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, QString* selectedFilter)
{
    TestState& test = testState();
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
    TestState& test = testState();
    if (test.directory)
        return *std::exchange(test.directory, std::nullopt);
    if (test.enabled)
        return QString();
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

void FileDialog::setTestMode(bool enabled)
{
    TestState& test = testState();
    test.enabled = enabled;
    test.fileName.reset();
    test.directory.reset();
}

void FileDialog::setNextFileName(const QString& name, const QString& filter)
{
    testState().fileName = name;
    testState().filter = filter;
}

void FileDialog::setNextDirectory(const QString& dir)
{
    testState().directory = dir;
}

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in "adb": a shell script in a scratch folder put first on PATH for the object's
// lifetime. For a command word W (the first argument after "-s SERIAL") it prints the file
// W.err to standard error and W.out to standard output, then sleeps W.sleep seconds if that
// file exists. Every call's arguments are appended as one line to calls.log.
class FakeAdbScript
{
public:
    FakeAdbScript();
    ~FakeAdbScript();
    FakeAdbScript(const FakeAdbScript&) = delete;
    FakeAdbScript& operator=(const FakeAdbScript&) = delete;

    bool isValid() const;
    QString folder() const;

    // Replaced atomically, so a reader polling in parallel never sees half a reply.
    void setReply(const QString& command, const QByteArray& out, const QByteArray& err = {});
    void setDelay(const QString& command, int seconds);
    // Writes an executable shell script into the folder and returns its path.
    QString writeScript(const QString& name, const QByteArray& body);

    QStringList calls() const;
    int callCount(const QString& callLine) const;

private:
    void writeFile(const QString& name, const QByteArray& content);

    QTemporaryDir dir_;
    QByteArray savedPath_;
    bool valid_ = false;
};

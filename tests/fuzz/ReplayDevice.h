#pragma once

#include <QByteArray>
#include <QIODevice>

// A socket stand-in that answers every read from fixed bytes and swallows every write, so
// that one fuzz input plays a whole conversation of agent replies.
class ReplayDevice : public QIODevice
{
public:
    explicit ReplayDevice(QByteArray replies);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    // Nothing more ever arrives: every wait ends at once.
    bool waitForReadyRead(int) override { return false; }
    bool waitForBytesWritten(int) override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    QByteArray m_replies;
    qint64 m_position = 0;
};

#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

// Runs a program we did not write to check our output; tests skip when it is missing.
struct ExternalTool
{
    static bool available(const QString& program)
    {
        return !QStandardPaths::findExecutable(program).isEmpty();
    }

    // Standard output of the program, or a null string when it failed or timed out.
    static QString run(const QString& program, const QStringList& arguments,
                       const QByteArray& input = QByteArray(), int timeoutMs = 60000)
    {
        QProcess process;
        // Browsers put a socket in the temporary folder, and a socket path may hold only
        // about a hundred bytes: the test's own temporary folder can be deeper than that.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForStarted(10000))
            return {};
        if (!input.isEmpty())
            process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(5000);
            return {};
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
            return {};
        }
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        return out.isNull() ? QStringLiteral("") : out;
    }
};

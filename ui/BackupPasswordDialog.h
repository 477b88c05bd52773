#pragma once

#include "db/SecretBytes.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;

// Asks for the password of an encrypted iPhone backup: a masked field, OK and Cancel.
// What was typed becomes SecretBytes the moment OK is pressed, and the field's text is
// wiped then (and on Cancel or close), so that the password lives in no QString longer
// than it must; nothing here writes or logs it. Tests switch on test mode, in which no
// dialog is shown: each question takes the next queued answer (Cancel when none is
// queued) and is counted.
class BackupPasswordDialog : public QDialog
{
    Q_OBJECT
public:
    // backupName: how the user knows the backup (its node's name).
    explicit BackupPasswordDialog(const QString& backupName, QWidget* parent = nullptr);
    ~BackupPasswordDialog() override;

    // The password typed, nothing when the user cancelled (or typed nothing).
    static std::optional<SecretBytes> ask(const QString& backupName, QWidget* parent = nullptr);

    // The password taken at OK; empty before and after a Cancel.
    SecretBytes takePassword() { return std::move(m_password); }

    static void setTestMode(bool enabled);
    // nullopt answers Cancel.
    static void queueAnswer(const std::optional<QString>& password);
    static int askedCount();

public slots:
    void accept() override;
    void reject() override;

private:
    // The field's text as SecretBytes; the field is emptied and the copy overwritten.
    SecretBytes takeFieldText();

    QLabel* m_label;
    QLineEdit* m_field;
    SecretBytes m_password;
};

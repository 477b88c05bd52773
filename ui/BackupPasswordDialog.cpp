#include "ui/BackupPasswordDialog.h"

#include "ui/AppStyle.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QQueue>
#include <QVBoxLayout>

namespace {

// A pasted novel is no password; a phone takes far shorter ones.
constexpr int MaxPasswordLength = 1024;

struct PasswordDialogTestState
{
    bool enabled = false;
    QQueue<std::optional<QString>> answers;
    int asked = 0;
};

PasswordDialogTestState& testState()
{
    static PasswordDialogTestState state;
    return state;
}

} // namespace

BackupPasswordDialog::BackupPasswordDialog(const QString& backupName, QWidget* parent)
    : QDialog(parent), m_label(new QLabel(this)), m_field(new QLineEdit(this))
{
    setObjectName(QStringLiteral("BackupPasswordDialog"));
    setWindowTitle(tr("Velliport"));
    AppStyle::applyDialogLook(this);

    m_label->setObjectName(QStringLiteral("lbPasswordPrompt"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setText(tr("IDS_IPHONE_BACKUP_PASSWORD_PROMPT_%1").arg(backupName));
    m_field->setObjectName(QStringLiteral("txtBackupPassword"));
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setMaxLength(MaxPasswordLength);
    // No input method may keep or suggest what is typed here.
    m_field->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    m_field->setContextMenuPolicy(Qt::NoContextMenu);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_field);
    layout->addWidget(buttons);
    resize(420, 150);

    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_field, &QLineEdit::textChanged, ok,
            [ok](const QString& text) { ok->setEnabled(!text.isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &BackupPasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BackupPasswordDialog::reject);
    m_field->setFocus();
}

BackupPasswordDialog::~BackupPasswordDialog()
{
    takeFieldText();
}

SecretBytes BackupPasswordDialog::takeFieldText()
{
    QString typed = m_field->text();
    // The field lets go of its copy (and of its undo steps) first, so that the one
    // left is ours alone and is overwritten in place.
    m_field->clear();
    SecretBytes password = SecretBytes::fromUtf8(typed);
    typed.fill(QChar(0));
    return password;
}

void BackupPasswordDialog::accept()
{
    m_password = takeFieldText();
    QDialog::accept();
}

void BackupPasswordDialog::reject()
{
    takeFieldText();
    m_password = SecretBytes();
    QDialog::reject();
}

std::optional<SecretBytes> BackupPasswordDialog::ask(const QString& backupName, QWidget* parent)
{
    PasswordDialogTestState& test = testState();
    if (test.enabled) {
        ++test.asked;
        std::optional<QString> answer = test.answers.isEmpty() ? std::nullopt : test.answers.dequeue();
        if (!answer || answer->isEmpty())
            return std::nullopt;
        return SecretBytes::fromUtf8(*answer);
    }
    BackupPasswordDialog dialog(backupName, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    SecretBytes password = dialog.takePassword();
    if (password.isEmpty())
        return std::nullopt;
    return password;
}

void BackupPasswordDialog::setTestMode(bool enabled)
{
    PasswordDialogTestState& test = testState();
    test.enabled = enabled;
    test.answers.clear();
    test.asked = 0;
}

void BackupPasswordDialog::queueAnswer(const std::optional<QString>& password)
{
    testState().answers.enqueue(password);
}

int BackupPasswordDialog::askedCount()
{
    return testState().asked;
}

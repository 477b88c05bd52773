#include "ui/LocalDbSelForm.h"

#include "app/AppDirs.h"
#include "ops/BackupViberMsgThread.h"
#include "ui/AppStyle.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

LocalDbSelForm::LocalDbSelForm(const QStringList& names, const QString& suggestedName, QWidget* parent)
    : QDialog(parent), m_cbDatabase(new QComboBox(this))
{
    AppStyle::applyDialogLook(this);
    setWindowTitle(tr("Select one Database for backup"));

    auto* title = new QLabel(windowTitle(), this);
    title->setObjectName(QStringLiteral("lbTitle"));
    auto* prompt = new QLabel(tr("Select current database to merge or enter a new database name:"), this);
    prompt->setObjectName(QStringLiteral("lbPrompt"));
    auto* hint = new QLabel(
        tr("Selecting current Database will merge data;entering new DB name will create a new Database."),
        this);
    hint->setObjectName(QStringLiteral("lbHint"));
    hint->setWordWrap(true);

    m_cbDatabase->setObjectName(QStringLiteral("cbDatabase"));
    m_cbDatabase->setEditable(true);
    m_cbDatabase->setInsertPolicy(QComboBox::NoInsert);
    m_cbDatabase->setMinimumWidth(320);
    m_cbDatabase->addItem(QString());
    m_cbDatabase->addItems(names);
    m_cbDatabase->setCurrentIndex(-1);
    if (!suggestedName.isEmpty())
        m_cbDatabase->setEditText(suggestedName);

    auto* ok = new QPushButton(tr("Confirm"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    auto* close = new QPushButton(tr("Cancel"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    connect(ok, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPressed);
    connect(close, &QPushButton::pressed, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addWidget(title);
    layout->addWidget(prompt);
    layout->addWidget(m_cbDatabase);
    layout->addWidget(hint);
    layout->addLayout(buttons);
}

QString LocalDbSelForm::selectedName() const
{
    return m_cbDatabase->currentText();
}

QString LocalDbSelForm::refusal(const QString& name)
{
    if (BackupViberMsgThread::isBlankName(name))
        return tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
    // A name the folder helper would change maps to another folder than the one the
    // user sees: "..." becomes nothing, that is the registry folder itself.
    if (!BackupViberMsgThread::isValidName(name) || AppDirs::sanitizeFileName(name) != name)
        return tr("IDS_INVALID_LOCALDB_NAME");
    return QString();
}

void LocalDbSelForm::onBtnOkPressed()
{
    const QString warning = refusal(selectedName());
    if (!warning.isEmpty()) {
        MessageBox::showWarning(UserText::plain(warning), this);
        return;
    }
    accept();
}

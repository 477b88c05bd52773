#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;

// Asks for the local database to back up into: an existing one (merged into) or a new
// name (created).
class LocalDbSelForm : public QDialog
{
    Q_OBJECT
public:
    LocalDbSelForm(const QStringList& names, const QString& suggestedName, QWidget* parent = nullptr);

    // The name as entered; meaningful once the dialog was accepted.
    QString selectedName() const;

    // The warning that refuses name, or an empty text when it can name a database
    // folder as it is: not blank, no characters a file name cannot hold, not dots
    // alone (which would name the registry folder or its parent) and nothing that the
    // folder name would silently drop.
    static QString refusal(const QString& name);

public slots:
    void onBtnOkPressed();

private:
    QComboBox* m_cbDatabase;
};

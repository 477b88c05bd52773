#pragma once

#include <QDialog>
#include <QList>
#include <QVariant>

class QComboBox;
class QLabel;
class QPushButton;

// Asks the user to pick one device or account from a list.
class DataSourceSelForm : public QDialog
{
    Q_OBJECT
public:
    struct Item
    {
        QString iconPath;
        QString text;
        // Handed back when the item is chosen. A key (such as a device serial) rather
        // than a pointer stays safe when the source goes away while the dialog is open.
        QVariant value;
    };

    explicit DataSourceSelForm(QWidget* parent = nullptr);

    // The chosen item's value; an invalid QVariant when the user closes the dialog.
    // A single item is chosen in advance, of several none is.
    QVariant select(const QString& title, const QList<Item>& items);

public slots:
    void onBtnOkPressed();

private:
    QLabel* m_lbSelDevice;
    QComboBox* m_cbDevice;
    QPushButton* m_btnOK;
    QPushButton* m_btnClose;
};

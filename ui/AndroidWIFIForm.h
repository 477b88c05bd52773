#pragma once

#include "android/AndroidDevice.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the address the agent shows on the phone and connects to it over the
// network; accepted once the phone has described itself.
class AndroidWIFIForm : public QDialog
{
    Q_OBJECT
public:
    explicit AndroidWIFIForm(QWidget* parent = nullptr);

    AndroidDevice device() const { return m_device; }
    // Tests point the dialog at a simulated phone's control port.
    void setControlPort(int port) { m_controlPort = port; }

public slots:
    void onBtnConnect();

private:
    QLabel* m_label = nullptr;
    QLineEdit* m_txtWifiSocket = nullptr;
    QPushButton* m_btnConnect = nullptr;
    QPushButton* m_btnClose = nullptr;
    QLabel* m_tips = nullptr;
    AndroidDevice m_device;
    int m_controlPort = AndroidDevice::DefaultControlPort;
};

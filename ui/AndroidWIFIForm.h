#pragma once

#include "android/AndroidDevice.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the phone's address and connects to its agent over the network; accepted once
// the phone has described itself. The agent answers only a computer it was paired with:
// over USB (a phone plugged in is prepared from here) or by the pairing code, typed into
// a terminal on the phone.
class AndroidWIFIForm : public QDialog
{
    Q_OBJECT
public:
    explicit AndroidWIFIForm(QWidget* parent = nullptr);

    AndroidDevice device() const { return m_device; }
    // Tests point the dialog at a simulated phone's control port.
    void setControlPort(int port) { m_controlPort = port; }
    // The phones plugged in over USB that can be prepared for WiFi: serial and name.
    void setUsbPhones(const QList<QPair<QString, QString>>& phones);

public slots:
    void onBtnConnect();
    void onBtnPairUsb();

private:
    QLabel* m_label = nullptr;
    QLineEdit* m_txtWifiSocket = nullptr;
    QPushButton* m_btnConnect = nullptr;
    QPushButton* m_btnClose = nullptr;
    QLabel* m_tips = nullptr;
    QComboBox* m_cbUsbPhone = nullptr;
    QPushButton* m_btnPairUsb = nullptr;
    QLabel* m_lbPairingCode = nullptr;
    AndroidDevice m_device;
    int m_controlPort = AndroidDevice::DefaultControlPort;
};

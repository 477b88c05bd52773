#include "ui/AndroidWIFIForm.h"

#include "android/AgentPairing.h"
#include "android/AndroidConnectWithWiFiThread.h"
#include "app/ProgressChannel.h"
#include "ui/AppStyle.h"
#include "ui/MessageBox.h"
#include "ui/ProgressForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

AndroidWIFIForm::AndroidWIFIForm(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Connect Android via WiFi"));
    AppStyle::applyDialogLook(this);
    setStyleSheet(
        styleSheet() +
        QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));

    m_label = new QLabel(tr("IDS_WIFI_CONNECT_STEPS"), this);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setWordWrap(true);
    m_txtWifiSocket = new QLineEdit(this);
    m_txtWifiSocket->setObjectName(QStringLiteral("txtWifiSocket"));
    m_btnConnect = new QPushButton(QStringLiteral("Connect"), this);
    m_btnConnect->setObjectName(QStringLiteral("btnConnect"));
    m_btnClose = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnClose->setObjectName(QStringLiteral("btnClose"));
    auto* label2 = new QLabel(this);
    label2->setObjectName(QStringLiteral("label_2"));
    m_cbUsbPhone = new QComboBox(this);
    m_cbUsbPhone->setObjectName(QStringLiteral("cbUsbPhone"));
    m_btnPairUsb = new QPushButton(tr("IDS_WIFI_PREPARE_USB_PHONE"), this);
    m_btnPairUsb->setObjectName(QStringLiteral("btnPairUsb"));
    const QByteArray code = AgentPairing::secret();
    m_lbPairingCode = new QLabel(
        code.isEmpty() ? QString() : tr("IDS_WIFI_PAIRING_CODE_%1").arg(QLatin1String(code)), this);
    m_lbPairingCode->setObjectName(QStringLiteral("lbPairingCode"));
    m_lbPairingCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_tips = new QLabel(tr("IDS_WIFI_AGENT_TIPS"), this);
    m_tips->setObjectName(QStringLiteral("lbTipsDownloadWifiConnection"));
    m_tips->setWordWrap(true);
    setUsbPhones({});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    auto* row = new QHBoxLayout;
    row->addWidget(m_txtWifiSocket, 1);
    row->addWidget(m_btnConnect);
    row->addWidget(m_btnClose);
    layout->addLayout(row);
    auto* usbRow = new QHBoxLayout;
    usbRow->addWidget(m_cbUsbPhone, 1);
    usbRow->addWidget(m_btnPairUsb);
    layout->addLayout(usbRow);
    layout->addWidget(m_lbPairingCode);
    layout->addWidget(label2);
    layout->addWidget(m_tips);
    resize(460, 230);

    connect(m_btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
    connect(m_btnClose, &QPushButton::pressed, this, &QDialog::reject);
    connect(m_btnPairUsb, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnPairUsb);
}

void AndroidWIFIForm::setUsbPhones(const QList<QPair<QString, QString>>& phones)
{
    m_cbUsbPhone->clear();
    for (const auto& [serial, name] : phones)
        m_cbUsbPhone->addItem(QStringLiteral("%1 (%2)").arg(name, serial), serial);
    m_cbUsbPhone->setEnabled(!phones.isEmpty());
    m_btnPairUsb->setEnabled(!phones.isEmpty());
}

void AndroidWIFIForm::onBtnPairUsb()
{
    const QString serial = m_cbUsbPhone->currentData().toString();
    if (serial.isEmpty())
        return;
    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    ProgressChannel& channel = progress.channel();
    // Installing and starting the agent takes a few adb round trips: off the GUI thread.
    const std::unique_ptr<QThread> worker(QThread::create([serial, &channel] {
        try {
            AgentPairing::pairOverUsb(serial);
            channel.postSucceed(UserText::plain(tr("IDS_WIFI_USB_PHONE_PREPARED")));
        } catch (const std::exception& e) {
            channel.postError(UserText::plain(QString::fromUtf8(e.what())));
        }
    }));
    progress.run(*worker);
}

void AndroidWIFIForm::onBtnConnect()
{
    const QString host = AndroidConnectWithWiFiThread::hostFromInput(m_txtWifiSocket->text());
    if (host.isEmpty()) {
        MessageBox::showWarning(UserText::plain(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE")));
        return;
    }
    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithWiFiThread worker(host, progress.channel(), nullptr, m_controlPort);
    if (!progress.run(worker))
        return;
    m_device = worker.device();
    accept();
}

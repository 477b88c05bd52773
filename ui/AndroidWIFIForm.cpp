#include "ui/AndroidWIFIForm.h"

#include "android/AndroidConnectWithWiFiThread.h"
#include "ui/AppStyle.h"
#include "ui/MessageBox.h"
#include "ui/ProgressForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

AndroidWIFIForm::AndroidWIFIForm(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Connect Android via WiFi"));
    AppStyle::applyDialogLook(this);
    setStyleSheet(
        styleSheet() +
        QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));

    m_label = new QLabel(
        QStringLiteral("Run Kestrune Relaypod on Android phone and click Connection button to get the "
                       "Wifi connection info. Now input the info to the following Text Box."),
        this);
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
    m_tips = new QLabel(
        QStringLiteral("If you haven't installed Kestrune Relaypod on Android phone, please go to the "
                       "Market (Google Play) on your Android to search Kestrune Relaypod to download "
                       "and install."),
        this);
    m_tips->setObjectName(QStringLiteral("lbTipsDownloadWifiConnection"));
    m_tips->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    auto* row = new QHBoxLayout;
    row->addWidget(m_txtWifiSocket, 1);
    row->addWidget(m_btnConnect);
    row->addWidget(m_btnClose);
    layout->addLayout(row);
    layout->addWidget(label2);
    layout->addWidget(m_tips);
    resize(420, 170);

    connect(m_btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
    connect(m_btnClose, &QPushButton::pressed, this, &QDialog::reject);
}

void AndroidWIFIForm::onBtnConnect()
{
    const QString host = AndroidConnectWithWiFiThread::hostFromInput(m_txtWifiSocket->text());
    if (host.isEmpty()) {
        MessageBox::showWarning(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithWiFiThread worker(host, progress.channel(), nullptr, m_controlPort);
    if (!progress.run(worker))
        return;
    m_device = worker.device();
    accept();
}

#include "ui/ViberMsgPrinter.h"

#include "db/ViberMsg.h"
#include "ops/PageRenderer.h"
#include "ui/MessageBox.h"

#include <QDateTime>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>

ViberMsgPrinter::ViberMsgPrinter(QWidget* window) : QObject(window), m_window(window) {}

bool ViberMsgPrinter::print(const QList<_ViberMsg*>& messages)
{
    return print(QList<const _ViberMsg*>(messages.begin(), messages.end()));
}

bool ViberMsgPrinter::print(QList<const _ViberMsg*> messages)
{
    if (messages.size() > LargePrintMessages &&
        !MessageBox::showQuestion(UserText::plain(tr("IDS_PRINT_MANY_MESSAGES_%1").arg(messages.size())),
                                  m_window))
        return false;
    std::stable_sort(messages.begin(), messages.end(),
                     [](const _ViberMsg* a, const _ViberMsg* b) { return a->date < b->date; });
    m_messages = messages;

    QPrinter printer(QPrinter::ScreenResolution);
    // Without an installed printer Qt itself sets up a PDF printer, which counts as valid;
    // a printer that is named but unusable gets PDF output too, so the preview still works.
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(20, 20, 20, 20), QPageLayout::Point));
    QPrintPreviewDialog preview(&printer, m_window);
    preview.setWindowTitle(tr("IDS_PRINT_MESSAGES"));
    preview.setWindowModality(Qt::WindowModal);
    preview.setModal(true);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, &ViberMsgPrinter::onPaintRequested);
    if (m_previewHook)
        m_previewHook(&preview);
    preview.exec();
    m_messages.clear();
    return true;
}

void ViberMsgPrinter::onPaintRequested(QPrinter* printer)
{
    // A fresh renderer each time: the preview asks again whenever its page setup changes,
    // and every run starts at page 1 with no day header drawn.
    PageRenderer renderer;
    // A printed page says what made it and when, as an exported one names its export.
    renderer.setFooter(QStringLiteral("Velliport %1, printed %2")
                           .arg(QStringLiteral(VELLIPORT_VERSION),
                                QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    m_lastPageCount = 0;
    if (!renderer.begin(printer))
        return;
    for (const _ViberMsg* msg : std::as_const(m_messages))
        renderer.drawMessage(*msg);
    renderer.end();
    m_lastPageCount = renderer.page();
}

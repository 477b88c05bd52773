#include "ops/ExportViberCallsThread.h"

#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberPerson.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"
#include "ops/ExportManifest.h"
#include "ops/OperationError.h"
#include "ops/TextFileWriter.h"

#include <QJsonObject>
#include <QLocale>

#include <algorithm>

namespace {

QString kindText(int kind)
{
    switch (kind) {
    case ViberCallKind::Incoming:
        return QStringLiteral("Incoming");
    case ViberCallKind::Outgoing:
        return QStringLiteral("Outgoing");
    case ViberCallKind::Missed:
        return QStringLiteral("Missed");
    default:
        return {};
    }
}

} // namespace

ExportViberCallsThread::ExportViberCallsThread(const QList<_ViberCall*>& calls, const QString& path,
                                               ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_calls(calls), m_path(path), m_progress(progress)
{
    std::stable_sort(m_calls.begin(), m_calls.end(), ViberSort::callByDateNewestFirst);
}

QString ExportViberCallsThread::line(const _ViberCall& call)
{
    const QString who =
        call.person ? ViberText::personLabelWithNumber(*call.person) : QStringLiteral("Unknown");
    const QString date =
        QLocale::system().toString(ViberDates::refToLocalShown(call.date), QLocale::ShortFormat);
    const QString duration = ViberText::durationText(call.duration);
    return who.leftJustified(40) + kindText(call.kind).leftJustified(15) + date.leftJustified(30) +
           duration.leftJustified(15);
}

void ExportViberCallsThread::run()
{
    TextFileWriter file(m_path);
    try {
        m_progress.postProgress(tr("IDS_EXPORT_VIBER_CALLS"), 0, QString());
        m_provenance.begin();
        file.open();
        file.writeLine(QStringLiteral("number").leftJustified(40) + QStringLiteral("Flag").leftJustified(15) +
                       QStringLiteral("Date").leftJustified(30) +
                       QStringLiteral("duration").leftJustified(15));
        const int total = int(m_calls.size());
        ProgressThrottle throttle;
        for (int i = 1; i <= total; ++i) {
            const int percent = int(qint64(i) * 100 / total);
            if (throttle.due(percent, i == total))
                m_progress.postProgress(QString(), percent, tr("Calls: %1/%2").arg(i).arg(total));
            file.writeLine(line(*m_calls.at(i - 1)));
            if (m_progress.isCancelled())
                throw OperationCancelled();
        }
        file.finish();
        ExportManifest::writeForFile(m_path, [&] {
            return m_provenance.write(m_path, false, QStringLiteral("calls"),
                                      QJsonObject{{QStringLiteral("calls"), total}});
        });
        m_progress.postSucceed(UserText::plain(tr("IDS_SUC_EXPORT_%1_CALLS").arg(total)));
    } catch (const OperationCancelled&) {
        file.discard();
    } catch (const std::exception& e) {
        file.discard();
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
}

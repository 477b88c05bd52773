#include "tests/support/WorkerTimings.h"

using namespace std::chrono_literals;

namespace WorkerTimings {

AndroidLoadViberThread::Timing shortLoad()
{
    AndroidLoadViberThread::Timing timing;
    timing.sessionBudget = 5000ms;
    timing.rootCommandWait = 10000ms;
    timing.toolStart = 5000ms;
    timing.backupTool = 15000ms;
    timing.tipsWait = 1000ms;
    timing.tipsPoll = 20ms;
    timing.rootTipsPoll = 20ms;
    timing.archiveRetries = 4000ms;
    timing.archivePoll = 50ms;
    return timing;
}

} // namespace WorkerTimings

#pragma once

#include "android/AndroidLoadViberThread.h"

// The workers' waits shrunk for the simulator, which answers at once: a test that goes
// wrong fails in seconds instead of waiting out a phone's minutes.
namespace WorkerTimings {

AndroidLoadViberThread::Timing shortLoad();

} // namespace WorkerTimings

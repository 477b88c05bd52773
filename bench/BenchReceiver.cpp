#include "bench/BenchReceiver.h"

void BenchReceiver::updateProgress(const QString&, int, const QString&)
{
    ++progressCount;
}

void BenchReceiver::errorOccurred(const QString& text)
{
    error = text;
}

void BenchReceiver::succeed(const QString& text)
{
    success = text;
}

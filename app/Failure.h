#pragma once

#include <QString>

#include <stdexcept>

// Ends the current step with an error for the worker's top-level handler to report: a
// std::runtime_error whose message is the text in UTF-8.
[[noreturn]] inline void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

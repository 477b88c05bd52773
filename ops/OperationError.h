#pragma once

#include <QString>

#include <stdexcept>

// A failure of an operation, carrying the text the user sees (UTF-8).
class OperationError : public std::runtime_error
{
public:
    explicit OperationError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

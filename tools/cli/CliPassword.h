#pragma once

#include "db/SecretBytes.h"

#include <QString>

#include <optional>

class QTextStream;

// The password of an encrypted backup on the command line: never an argument (others
// see the command lines of a computer's processes), but the first line of a file, of
// standard input ("-"), or typed at a prompt that does not echo it.
namespace CliPassword {

// From passwordFile when given, else asked on the terminal when standard input is one;
// empty when neither gives a line, with why in errorText.
std::optional<SecretBytes> read(const QString& passwordFile, QTextStream& in, QTextStream& errors,
                                const QString& prompt, QString& errorText);

} // namespace CliPassword

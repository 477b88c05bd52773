#pragma once

#include <stdexcept>
#include <string>

// The password given for an encrypted iPhone backup opens none of its keys; the message
// is the text for the user.
class WrongBackupPassword : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

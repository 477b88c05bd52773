#pragma once

// The user cancelled: every worker catches this before its error handler and ends
// without a message. Deliberately not a standard exception, so that a handler meant for
// failures ("count the attachment as failed and go on") can never swallow a cancel.
class OperationCancelled
{};

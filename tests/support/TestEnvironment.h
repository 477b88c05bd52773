#pragma once

#include <QString>

// Paths and checks shared by the tests.
namespace TestEnvironment {

// The folder of checked-in fixtures (tests/data).
QString dataDir();
// The folder the programs of the project are built into.
QString binDir();
// Aborts the test program when the data home is not a scratch folder, so that a test
// run can never touch the user's real data folder.
void requireScratchDataHome();
// Installs the program's English texts, as the program does at start-up.
void installTranslation();

} // namespace TestEnvironment

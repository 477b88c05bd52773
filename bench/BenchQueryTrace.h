#pragma once

#include <QString>

// The statements a piece of the program runs, as it runs them (their parameters written
// in), and the same statements run again with SQLite's C API alone: the floor for a
// reader, which has to read those rows and columns whatever it makes of them.
namespace BenchQueryTrace {

// From now on every connection the process opens logs each statement it runs.
void start();
// The log so far, as JSON: [{"file": database path, "sql": statement}, ...].
QByteArray take();
struct Replay
{
    double seconds = 0;
    qint64 statements = 0;
    qint64 rows = 0;
    qint64 checksum = 0; // of every value read, printed so that no read can be left out
};

// Runs the logged statements in order, each database opened read-only, every value of
// every row touched (texts and blobs copied into a buffer). Throws std::runtime_error
// when SQLite fails.
Replay replay(const QByteArray& log);

} // namespace BenchQueryTrace

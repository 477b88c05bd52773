#include "tools/abarchive/AbArchiveCommand.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream errors(stderr);
    return runAbArchive(app.arguments().mid(1), errors);
}

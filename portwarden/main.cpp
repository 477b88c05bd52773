#include "portwarden/Portwarden.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return Portwarden::run(Portwarden::systemCommands());
}

#include "CliTool.h"
#include "run/FtpConnections.h"
#include "startup/code_main.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vellumdex-cli"_qs);
    run::Startup({});
    return CliTool().run(app.arguments().mid(1));
}

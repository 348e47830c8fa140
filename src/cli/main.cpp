// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliTool.h"
#include "ftp/FtpConnections.h"
#include "settings/code_main.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vellumdex-cli"_qs);
    run::Startup({});
    return CliTool().run(app.arguments().mid(1));
}

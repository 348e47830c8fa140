#include "AppFonts.h"
#include "AppTranslation.h"
#include "MessageBoxSink.h"
#include "ProgramIcon.h"
#include "frm_main.h"
#include "run/FtpConnections.h"
#include "startup/code_main.h"

#include <QApplication>

// The desktop program: the start steps shared with the command-line tool, then the main
// window, shown modeless; the program ends when its last window closes.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumdex"_qs);
    QApplication::setWindowIcon(ProgramIcon::icon());
    AppFonts::install();
    AppTranslation::install();
    MessageBoxSink messages;
    MessageSink::install(&messages);

    run::Startup(app.arguments().mid(1));
    auto *window = new frm_main;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    const int status = QApplication::exec();
    MessageSink::install(nullptr);
    return status;
}

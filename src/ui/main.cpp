#include "AppFonts.h"
#include "AppTranslation.h"
#include "MessageBoxSink.h"
#include "ProgramIcon.h"
#include "TerminationSignal.h"
#include "frm_MakeHtml.h"
#include "frm_main.h"
#include "ftp/FtpConnections.h"
#include "settings/code_main.h"

#include <QApplication>
#include <QPointer>

// The desktop program: the start steps shared with the command-line tool, then the main
// window, shown modeless; the program ends when its last window closes.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vellumdex"_qs);
    QApplication::setDesktopFileName(u"org.example.vellumdex"_qs);
    QApplication::setWindowIcon(ProgramIcon::icon());
    TerminationSignal termination;
    AppFonts::install();
    AppTranslation::install();
    MessageBoxSink messages;
    MessageSink::install(&messages);

    run::Startup(app.arguments().mid(1));
    QPointer<frm_main> window = new frm_main;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(&termination, &TerminationSignal::received, &app, [] {
        // A run under way ends at its next file, without a question.
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<frm_MakeHtml *>(w))
                form->Stop();
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    window->show();
    const int status = QApplication::exec();
    // A main window hidden behind a run is not closed above; its unload still keeps the choices.
    delete window;
    MessageSink::install(nullptr);
    return status;
}

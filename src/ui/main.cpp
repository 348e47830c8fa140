// SPDX-License-Identifier: GPL-3.0-or-later
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

#include <cstdio>
#include <cstring>

namespace {

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

// "--help" and "--version" as the whole command line answer on the terminal, before anything
// needs a display; -1 for every other command line, which starts the window as before.
int answerOnTerminal(int argc, char *argv[])
{
    if (argc != 2)
        return -1;
    const bool help = !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h");
    if (!help && std::strcmp(argv[1], "--version"))
        return -1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Vellumdex"_qs);
    if (help) {
        print(uR"(使い方: vellumdex [/TestMode]
お気に入りフォルダを一つのHTMLページに変換し、ファイルに保存するか
FTP・FTPS・SFTP で公開するデスクトッププログラムです。

  -h, --help   この説明を表示して終了します。
  --version    バージョンと設定フォルダ・定義フォルダを表示して終了します。
  /TestMode    バージョン情報のメニュー項目を働かせずに起動します（試験用）。

変換・復元・公開をコマンドラインから行うには vellumdex-cli を使います。
)"_qs);
        return 0;
    }
    print(u"Vellumdex "_qs + code_main::GetVersionText(u"Version "_qs) + u" ("_qs +
          QStringLiteral(VELLUMDEX_VERSION_TEXT) + u")\n"_qs);
    print(u"設定フォルダ: "_qs + code_main::SettingsFolder() + u'\n');
    for (const QString &folder : code_main::DefinitionFolders())
        print(u"定義フォルダ: "_qs + folder + u'\n');
    return 0;
}

} // namespace

// The desktop program: the start steps shared with the command-line tool, then the main
// window, shown modeless; the program ends when its last window closes.
int main(int argc, char *argv[])
{
    if (const int status = answerOnTerminal(argc, argv); status >= 0)
        return status;
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

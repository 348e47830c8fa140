// SPDX-License-Identifier: GPL-3.0-or-later
// Opens every window of the desktop program with sample settings and saves a picture of each
// (QWidget::grab) into the folder given as the first argument. Started by
// scripts/screenshots.sh under Xvfb.

#include "AppFonts.h"
#include "frm_MakeHtml.h"
#include "frm_main.h"
#include "ftp/FtpConnections.h"
#include "ftp/cls_FtpData.h"
#include "settings/code_main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>

namespace {

int failures = 0;

void save(QWidget *window, const QString &folder, const QString &name)
{
    const QString path = folder + u'/' + name + u".png"_qs;
    if (!window || !window->grab().save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(source, target);
    }
}

// Grabs the modal window that the next call opens, then closes it.
void grabNextModal(const QString &folder, const QString &name)
{
    QTimer::singleShot(300, [folder, name] {
        QWidget *modal = QApplication::activeModalWidget();
        save(modal, folder, name);
        if (modal)
            modal->close();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vellumdex-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);
    AppFonts::install();

    // A program folder of its own: the shipped definitions, the sample favorites, one stored
    // connection, and nothing of the user's settings.
    const QString program = QDir::tempPath() + u"/Vellumdex"_qs;
    QDir(program).removeRecursively();
    QDir().mkpath(program);
    copyTree(QStringLiteral(VELLUMDEX_SOURCE_DIR "/Config"), program + u"/Config"_qs);
    copyTree(QStringLiteral(VELLUMDEX_SOURCE_DIR "/samples/Favorites"), program + u"/Favorites"_qs);
    code_main::setProgramFolder(program);
    run::Startup({});
    auto connection = QSharedPointer<cls_FtpData>::create();
    connection->setViewName(u"ホームページ"_qs);
    connection->setFtpSrv(u"ftp.example.jp"_qs);
    connection->setFtpDir(u"public_html"_qs);
    connection->setFtpUid(u"hanako"_qs);
    connection->setFtpPwd(u"secret"_qs);
    connection->setFtpPassive(true);
    run::FtpConnections().append(connection);
    run::SaveFtpList();
    auto &ini = code_main::SettingsIni();
    ini.T_SaveSetting(u"InputFolder"_qs, program + u"/Favorites"_qs, u"System"_qs);
    ini.T_SaveSetting(u"FTPName"_qs, connection->ViewName(), u"System"_qs);
    ini.T_SaveSetting(u"Decode"_qs, u"1"_qs, u"System"_qs);
    run::Startup({});

    auto *window = new frm_main;
    window->show();
    QTimer::singleShot(300, [&] {
        save(window, out, u"main"_qs);

        window->findChild<QPushButton *>(u"cmd_Run"_qs)->click();
        frm_MakeHtml *run = window->makeForm();
        QApplication::processEvents();
        save(run, out, u"processing"_qs);
        if (run)
            run->close();

        grabNextModal(out, u"about"_qs);
        const auto actions = window->findChild<QMenu *>(u"SystemMenu"_qs)->actions();
        for (QAction *action : actions)
            if (action->text() == u"バージョン情報(&A)..."_qs)
                action->trigger();

        window->findChild<QRadioButton *>(u"opt_Output_1"_qs)->click();
        grabNextModal(out, u"ftp"_qs);
        window->findChild<QPushButton *>(u"cmd_FTP"_qs)->click();
        window->findChild<QRadioButton *>(u"opt_Output_0"_qs)->click();

        grabNextModal(out, u"configedit"_qs);
        window->findChild<QPushButton *>(u"cmd_ConfigEdit"_qs)->click();

        window->close();
        delete window;
        QApplication::exit(failures == 0 ? 0 : 1);
    });
    return QApplication::exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "../ftp/TestServers.h"
#include "base/Cp932.h"
#include "ftp/cls_FtpData.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The manual pages against the programs as they are built: every command and option that the
// programs' own help names is on each page, and each page's examples run.
class TestManPages : public QObject
{
    Q_OBJECT

private slots:
    void pageNamesEveryCommandAndOption_data();
    void pageNamesEveryCommandAndOption();
    void examplesRun_data();
    void examplesRun();
};

namespace {

const QString Build = QStringLiteral(VELLUMDEX_BUILD_DIR);
const QString Pages = QStringLiteral(VELLUMDEX_SOURCE_DIR "/packaging/man");

QString help(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(Build + u'/' + program, arguments);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// The page as its reader sees the words: roff's escaped hyphens and font changes undone.
QString pageText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    text.replace(u"\\-"_qs, u"-"_qs).replace(u"\\e"_qs, u"\\"_qs);
    return text.remove(QRegularExpression(u"\\\\f[BIRP]"_qs));
}

// Options as the help lists them, in whatever language it is written.
QStringList optionsIn(const QString &helpText)
{
    QStringList found;
    // "--name" or "-n" after anything but a letter or hyphen; "/Name" only as a word of its own
    static const QRegularExpression option(
        u"(?:^|[^\\w-])(--?[a-z][a-z0-9-]*)|(?:^|[\\s\\[])(/[A-Z]\\w+)"_qs);
    for (auto it = option.globalMatch(helpText); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        found << (m.hasCaptured(1) ? m.captured(1) : m.captured(2));
    }
    found.removeAll(u"--help-all"_qs); // Qt's own, the same as --help for these programs
    found.removeDuplicates();
    return found;
}

} // namespace

void TestManPages::pageNamesEveryCommandAndOption_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("page");
    QStringList programs{u"vellumdex-cli"_qs};
    if (QFileInfo::exists(Build + u"/vellumdex"_qs))
        programs << u"vellumdex"_qs;
    for (const QString &program : programs) {
        QTest::addRow("%s English", qPrintable(program))
            << program << Pages + u'/' + program + u".1"_qs;
        QTest::addRow("%s Japanese", qPrintable(program))
            << program << Pages + u"/ja/"_qs + program + u".1"_qs;
    }
}

void TestManPages::pageNamesEveryCommandAndOption()
{
    QFETCH(QString, program);
    QFETCH(QString, page);
    const QString text = pageText(page);
    QVERIFY2(!text.isEmpty(), qPrintable(page));
    const QString usage = help(program, {u"--help"_qs});
    QStringList missing;
    QStringList options = optionsIn(usage);
    if (program == u"vellumdex-cli"_qs) {
        static const QRegularExpression command(u"^\\s{2}([a-z][a-z-]+)\\s{2}"_qs,
                                                QRegularExpression::MultilineOption);
        int commands = 0;
        for (auto it = command.globalMatch(usage); it.hasNext(); ++commands) {
            const QString name = it.next().captured(1);
            if (!text.contains(u".TP\n.B "_qs + name + u'\n'))
                missing << name;
            options += optionsIn(help(program, {name, u"--help"_qs}));
        }
        QVERIFY2(commands >= 7, qPrintable(usage));
    }
    options.removeDuplicates();
    QVERIFY2(options.contains(u"--version"_qs), qPrintable(usage));
    // Each option has an entry of its own: named in the tag line of a .TP paragraph.
    QString tags;
    static const QRegularExpression tagLine(u"^\\.TP\n([^\n]*)"_qs,
                                            QRegularExpression::MultilineOption);
    for (auto it = tagLine.globalMatch(text); it.hasNext();)
        tags += it.next().captured(1) + u'\n';
    for (const QString &o : options) {
        const QRegularExpression named(u"(^|[^\\w-])"_qs + QRegularExpression::escape(o) +
                                       u"($|[^\\w-])"_qs);
        if (!tags.contains(named))
            missing << o;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(page + u" lacks "_qs + missing.join(u", "_qs)));
}

void TestManPages::examplesRun_data()
{
    pageNamesEveryCommandAndOption_data();
}

// The examples as a user types them, in a home of their own with the sample favorites, an
// exported bookmark file and one stored connection to an FTP server on loopback.
void TestManPages::examplesRun()
{
    QFETCH(QString, program);
    QFETCH(QString, page);
    const QString text = pageText(page);
    const QRegularExpression block(u"\\.SH (?:EXAMPLES|例)\n\\.nf\n(.*?)\\.fi\n"_qs,
                                   QRegularExpression::DotMatchesEverythingOption);
    const QString examples = block.match(text).captured(1);
    QVERIFY2(examples.contains(program + u' '), qPrintable(page));

    QTemporaryDir dir;
    const QString home = dir.filePath(u"home"_qs), bin = dir.filePath(u"bin"_qs);
    const QString ftpRoot = dir.filePath(u"ftp"_qs);
    for (const QString &d : {home, bin, ftpRoot})
        QVERIFY(QDir().mkpath(d));
    for (const QString &p : {u"vellumdex-cli"_qs, u"vellumdex"_qs})
        QFile::copy(Build + u'/' + p, bin + u'/' + p);
    for (QDirIterator it(Build + u"/Config"_qs, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString target = bin + it.next().mid(Build.size());
        QDir().mkpath(QFileInfo(target).path());
        QVERIFY(QFile::copy(it.filePath(), target));
    }
    const QString samples = QStringLiteral(VELLUMDEX_SOURCE_DIR "/samples/Favorites");
    for (QDirIterator it(samples, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString target = home + u"/Favorites"_qs + it.next().mid(samples.size());
        QDir().mkpath(QFileInfo(target).path());
        QVERIFY(QFile::copy(it.filePath(), target));
    }
    QVERIFY(QFile::copy(QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/firefox.html"),
                        home + u"/bookmarks.html"_qs));

    TestServer server;
    QVERIFY(server.start({u"--root"_qs, ftpRoot, u"--log"_qs, dir.filePath(u"ftp.log"_qs)}));
    cls_FtpData record;
    record.setViewName(u"テスト鯖"_qs);
    record.setFtpSrv(server.address());
    record.setFtpUid(u"user"_qs);
    record.setFtpPwd(u"秘密のpass"_qs);
    record.setFtpPassive(true);
    writeBytes(bin + u"/Vellumdex.ini"_qs, Cp932::fromUnicode(u"[FTP]\r\nCount=1\r\nData_1="_qs +
                                                              record.ConnectData() + u"\r\n"_qs));

    QProcess shell;
    QProcessEnvironment env;
    env.insert(u"PATH"_qs, bin + u":/usr/bin:/bin"_qs);
    env.insert(u"HOME"_qs, home);
    env.insert(u"LANG"_qs, u"C.UTF-8"_qs); // and no display: nothing here may open a window
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(home);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(u"/bin/bash"_qs, {u"-e"_qs, u"-o"_qs, u"pipefail"_qs, u"-c"_qs, examples});
    QVERIFY(shell.waitForFinished(120000));
    const QString output = QString::fromUtf8(shell.readAll());
    QVERIFY2(shell.exitCode() == 0, qPrintable(examples + u"\n"_qs + output));
    if (program == u"vellumdex-cli"_qs) {
        QVERIFY(QFileInfo(ftpRoot + u"/index.html"_qs).size() > 0);
        QVERIFY(QFileInfo::exists(home + u"/restored"_qs));
        QVERIFY(!QDir(home + u"/imported"_qs).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestManPages)
#include "tst_manpages.moc"

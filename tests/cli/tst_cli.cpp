// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Cp932.h"
#include "ftp/cls_FtpData.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// Drives the built vellumdex-cli from a program folder of its own in a temporary folder.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exitStatus_data();
    void exitStatus();
    void convertUsesStoredSettingsAsDefaults();
    void convertThenRestoreGivesTheSameTree();
    void definitionsListsTheCatalogue();
    void importMakesFavoritesFromBookmarks();
    void importFromTheBrowsersDefaultProfile();
    void publishSendsThePageToTheStoredConnection();
    void killedRunLeavesShortcutsWholeAndNoStray_data();
    void killedRunLeavesShortcutsWholeAndNoStray();
    void strayHeldInAnotherPidNamespaceIsKept();
    void interruptStopsTheRunAtTheNextFile();

private:
    int cli(const QStringList &args, QString *out = nullptr, QString *err = nullptr,
            const QString &home = QString());
    QString program() const { return m_dir->filePath(u"prog"_qs); }
    QTemporaryDir *m_dir = nullptr;
};

void TestCli::init()
{
    m_dir = new QTemporaryDir;
    QDir().mkpath(program());
    QFile::copy(QStringLiteral(VELLUMDEX_BUILD_DIR "/vellumdex-cli"),
                program() + u"/vellumdex-cli"_qs);
    QFile::copy(QStringLiteral(VELLUMDEX_TEST_DATA "/convert/simple.html"),
                program() + u"/simple.html"_qs);
}

void TestCli::cleanup()
{
    delete m_dir;
}

int TestCli::cli(const QStringList &args, QString *out, QString *err, const QString &home)
{
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    if (!home.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_qs, home);
        env.remove(u"XDG_CONFIG_HOME"_qs);
        p.setProcessEnvironment(env);
    }
    p.start(program() + u"/vellumdex-cli"_qs, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestCli::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    const QString samples = QStringLiteral(VELLUMDEX_SOURCE_DIR "/samples/Favorites");
    QTest::newRow("no command") << QStringList{} << 2;
    QTest::newRow("help") << QStringList{u"--help"_qs} << 0;
    QTest::newRow("convert help") << QStringList{u"convert"_qs, u"--help"_qs} << 0;
    QTest::newRow("unknown option") << QStringList{u"convert"_qs, u"--bogus"_qs} << 2;
    QTest::newRow("bad sort key") << QStringList{u"convert"_qs, u"--sort"_qs, u"size"_qs} << 2;
    QTest::newRow("unknown definition")
        << QStringList{u"convert"_qs, u"--input"_qs, samples, u"--definition"_qs, u"なし"_qs} << 2;
    QTest::newRow("missing input folder")
        << QStringList{u"convert"_qs, u"--input"_qs, u"nothing-here"_qs, u"--output"_qs,
                       u"p.html"_qs}
        << 1;
    QTest::newRow("output folder missing")
        << QStringList{u"convert"_qs, u"--input"_qs, samples, u"--output"_qs, u"no/such/p.html"_qs}
        << 1;
    QTest::newRow("restore of a page without block")
        << QStringList{u"restore"_qs, QStringLiteral(VELLUMDEX_TEST_DATA "/convert/simple.html"),
                       u"out"_qs}
        << 1;
    QTest::newRow("restore wants two arguments") << QStringList{u"restore"_qs, u"x"_qs} << 2;
    QTest::newRow("import wants two arguments") << QStringList{u"import"_qs, u"x"_qs} << 2;
    QTest::newRow("import of a missing file")
        << QStringList{u"import"_qs, u"no-such.html"_qs, u"out"_qs} << 1;
    const QString browsers = QStringLiteral(VELLUMDEX_TEST_DATA "/browsers");
    QTest::newRow("import from a browser it does not know")
        << QStringList{u"import"_qs, u"--from"_qs, u"netscape"_qs, u"nothing"_qs} << 2;
    QTest::newRow("import from a missing profile")
        << QStringList{u"import"_qs, u"--profile"_qs, u"no-such-profile"_qs, u"nothing"_qs} << 1;
    QTest::newRow("import of a damaged database")
        << QStringList{u"import"_qs, u"--profile"_qs, browsers + u"/damaged-places.sqlite"_qs,
                       u"nothing"_qs}
        << 1;
    QTest::newRow("import of a page that holds no bookmarks")
        << QStringList{u"import"_qs, QStringLiteral(VELLUMDEX_TEST_DATA "/convert/simple.html"),
                       u"out"_qs}
        << 1;
}

void TestCli::exitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QString err;
    QCOMPARE(cli(args, nullptr, &err), status);
    QVERIFY2(status == 0 || !err.trimmed().isEmpty(), "a failure is named on stderr");
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"nothing"_qs)));
    // The tool never writes settings.
    QVERIFY(!QFileInfo::exists(program() + u"/Vellumdex.ini"_qs));
    QVERIFY(!QFileInfo::exists(program() + u"/Config.ini"_qs));
}

void TestCli::convertUsesStoredSettingsAsDefaults()
{
    const QString input = m_dir->filePath(u"fav"_qs);
    QDir().mkpath(input);
    for (const char *name : {"a", "b"}) {
        QFile f(input + u'/' + QLatin1String(name) + u".url"_qs);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[InternetShortcut]\r\nURL=http://" + QByteArray(name) + "/\r\n");
    }
    const QString page = m_dir->filePath(u"stored.html"_qs);
    const QByteArray ini =
        Cp932::fromUnicode(u"[System]\r\nInputFolder="_qs + input + u"\r\nSaveFile="_qs + page +
                           u"\r\nDecode=1\r\nSort=1\r\nOrder=0\r\nDESC=1\r\n"_qs);
    QFile s(program() + u"/Vellumdex.ini"_qs);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write(ini);
    s.close();
    QString out;
    QCOMPARE(cli({u"convert"_qs}, &out), 0);
    QVERIFY(out.contains(u"  変換が終了しました。"_qs));
    QFile p(page);
    QVERIFY(p.open(QIODevice::ReadOnly));
    const QByteArray bytes = p.readAll();
    QVERIFY(bytes.contains("[encode]"));
    QVERIFY(bytes.indexOf("http://b/") < bytes.indexOf("http://a/")); // descending by name
    QCOMPARE(cli({u"convert"_qs, u"--asc"_qs, u"--no-restore-block"_qs}), 0);
    p.close(); // the page was replaced, not rewritten in place
    QVERIFY(p.open(QIODevice::ReadOnly));
    const QByteArray again = p.readAll();
    QVERIFY(!again.contains("[encode]"));
    QVERIFY(again.indexOf("http://a/") < again.indexOf("http://b/"));
    s.open(QIODevice::ReadOnly);
    QCOMPARE(s.readAll(), ini);
}

void TestCli::convertThenRestoreGivesTheSameTree()
{
    const QString samples = QStringLiteral(VELLUMDEX_SOURCE_DIR "/samples/Favorites");
    QString out;
    QCOMPARE(cli({u"convert"_qs, u"--input"_qs, samples, u"--output"_qs, u"page.html"_qs,
                  u"--restore-block"_qs},
                 &out),
             0);
    QVERIFY(out.startsWith(u"フォルダ情報読み出し [Favorites]\n"_qs));
    QCOMPARE(cli({u"restore"_qs, u"page.html"_qs, u"restored"_qs}, &out), 0);
    QVERIFY(out.endsWith(u"  お気に入りを復元しました\n----------------------------\n"_qs));
    QStringList original, restored;
    QDirIterator a(samples, {u"*.url"_qs}, QDir::Files, QDirIterator::Subdirectories);
    while (a.hasNext())
        original << QDir(samples).relativeFilePath(a.next());
    QDirIterator b(m_dir->filePath(u"restored/Favorites"_qs), QDir::Files,
                   QDirIterator::Subdirectories);
    while (b.hasNext())
        restored << QDir(m_dir->filePath(u"restored/Favorites"_qs)).relativeFilePath(b.next());
    original.sort();
    restored.sort();
    QCOMPARE(restored, original);
}

void TestCli::definitionsListsTheCatalogue()
{
    QString out;
    QCOMPARE(cli({u"definitions"_qs}, &out), 0);
    QCOMPARE(out, u"1\tテスト定義\n"_qs);
}

void TestCli::importMakesFavoritesFromBookmarks()
{
    const QString bookmarks = QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/firefox.html");
    QString out, err;
    QCOMPARE(cli({u"import"_qs, bookmarks, u"fav"_qs}, &out, &err), 0);
    QVERIFY(out.startsWith(u"ブックマークファイルを読み込んでいます\n"_qs));
    QVERIFY(out.contains(u"リンク復元[Customize Firefox]\n"_qs));
    QVERIFY(QRegularExpression(
                u"  お気に入りをインポートしました。\n  フォルダ \\d+、リンク \\d+\n-+\n$"_qs)
                .match(out)
                .hasMatch());
    QCOMPARE(err, QString());
    QFile shortcut(m_dir->filePath(u"fav/Mozilla Firefox/Customize Firefox.url"_qs));
    QVERIFY(shortcut.open(QIODevice::ReadOnly));
    QCOMPARE(shortcut.readAll(),
             QByteArray("[InternetShortcut]\r\nURL=https://www.example.org/customize/\r\n"
                        "[Bookmark]\r\nName=Customize Firefox\r\nTitle=Customize Firefox\r\n"
                        "AddDate=1500000200\r\nLastModified=1500000201\r\n"));

    // The restore takes a bookmark file too.
    QCOMPARE(cli({u"restore"_qs, bookmarks, u"again"_qs}, &out), 0);
    QVERIFY(QFileInfo::exists(m_dir->filePath(u"again/Get Help.url"_qs)));

    QCOMPARE(
        cli({u"import"_qs, QStringLiteral(VELLUMDEX_TEST_DATA "/convert/simple.html"), u"none"_qs},
            &out, &err),
        1);
    QVERIFY(out.contains(u"ブックマーク情報が見つかりません\n"_qs));
    QCOMPARE(err, u"vellumdex-cli: ブックマーク情報が見つかりません\n"_qs);
    QVERIFY(out.endsWith(
        u"  インポートに失敗しました。\n  フォルダ 0、リンク 0\n----------------------------\n"_qs));
}

void TestCli::importFromTheBrowsersDefaultProfile()
{
    // Firefox: the install's default wins over the profile marked Default=1; a profile whose
    // folder is gone is not listed. Chromium: its Flatpak place, named as Local State names it.
    const QString home = m_dir->filePath(u"home"_qs);
    const QString firefox = home + u"/.mozilla/firefox"_qs;
    QDir().mkpath(firefox + u"/old.default"_qs);
    QDir().mkpath(firefox + u"/Profiles/abc.default-release"_qs);
    QFile ini(firefox + u"/profiles.ini"_qs);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[Profile1]\nName=古い, 仕事\nIsRelative=1\nPath=old.default\nDefault=1\n\n"
        "[Profile0]\nName=default-release\nIsRelative=1\nPath=Profiles/abc.default-release\n\n"
        "[Profile2]\nName=消えた\nIsRelative=1\nPath=gone.default\n\n"
        "[Install4F96D1932A9F858E]\nDefault=Profiles/abc.default-release\nLocked=1\n\n"
        "[General]\nStartWithLastProfile=1\nVersion=2\n");
    ini.close();
    const QString chromium = home + u"/.var/app/org.chromium.Chromium/config/chromium"_qs;
    QDir().mkpath(chromium + u"/Default"_qs);
    const QString data = QStringLiteral(VELLUMDEX_TEST_DATA "/browsers/chromium");
    QVERIFY(QFile::copy(data + u"/Local State"_qs, chromium + u"/Local State"_qs));
    QVERIFY(QFile::copy(data + u"/Default/Bookmarks"_qs, chromium + u"/Default/Bookmarks"_qs));

    QString out, err;
    QCOMPARE(cli({u"profiles"_qs}, &out, &err, home), 0);
    QCOMPARE(out, u"firefox\tdefault-release\t"_qs + firefox +
                      u"/Profiles/abc.default-release\n"_qs + u"firefox\t古い, 仕事\t"_qs +
                      firefox + u"/old.default\n"_qs + u"chromium\t仕事用\t"_qs + chromium +
                      u"/Default\n"_qs);

    QCOMPARE(cli({u"import"_qs, u"--from"_qs, u"firefox"_qs, u"fav"_qs}, &out, &err, home), 1);
    QCOMPARE(err, u"vellumdex-cli: プロファイルにブックマークがありません ["_qs + firefox +
                      u"/Profiles/abc.default-release]\n"_qs);
    QCOMPARE(cli({u"import"_qs, u"--from"_qs, u"edge"_qs, u"fav"_qs}, &out, &err, home), 1);
    QCOMPARE(err, u"vellumdex-cli: edge のプロファイルが見つかりません\n"_qs);
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"fav"_qs)));

    QCOMPARE(cli({u"import"_qs, u"--from"_qs, u"chromium"_qs, u"fav"_qs}, &out, &err, home), 0);
    QVERIFY(out.startsWith(u"ブックマークファイルを読み込んでいます\n"_qs));
    QVERIFY(QRegularExpression(
                u"  お気に入りをインポートしました。\n  フォルダ \\d+、リンク \\d+\n-+\n$"_qs)
                .match(out)
                .hasMatch());
    QVERIFY(QFileInfo::exists(
        m_dir->filePath(u"fav/その他のブックマーク/ニュース： 今日／明日.url"_qs)));
}

void TestCli::publishSendsThePageToTheStoredConnection()
{
    // A real server on loopback; it prints its port on its first line.
    const QString root = m_dir->filePath(u"ftproot"_qs);
    QDir().mkpath(root + u"/www"_qs);
    QProcess server;
    server.start(QStringLiteral(PYTHON3_SYSTEM),
                 {QStringLiteral(VELLUMDEX_SOURCE_DIR "/tests/ftp/ftpserver.py"), u"--root"_qs,
                  root, u"--log"_qs, m_dir->filePath(u"ftp.log"_qs)});
    QVERIFY(server.waitForStarted(10000));
    while (!server.canReadLine())
        QVERIFY(server.waitForReadyRead(20000));
    const int port = server.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    auto stopServer = qScopeGuard([&server] {
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
    });

    cls_FtpData record;
    record.setViewName(u"試験サーバー"_qs);
    record.setFtpSrv(u"127.0.0.1:"_qs + QString::number(port));
    record.setFtpDir(u"www"_qs);
    record.setFtpUid(u"user"_qs);
    record.setFtpPwd(u"秘密のpass"_qs);
    record.setFtpPassive(true);
    const QByteArray ini =
        Cp932::fromUnicode(u"[FTP]\r\nCount=1\r\nData_1="_qs + record.ConnectData() + u"\r\n"_qs);
    QFile s(program() + u"/Vellumdex.ini"_qs);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write(ini);
    s.close();

    const QString samples = QStringLiteral(VELLUMDEX_SOURCE_DIR "/samples/Favorites");
    QString out, err;
    QCOMPARE(cli({u"connections"_qs}, &out), 0);
    QVERIFY2(out.contains(u"試験サーバー"_qs), qPrintable(out));
    QCOMPARE(cli({u"publish"_qs, u"--connection"_qs, u"試験サーバー"_qs, u"--input"_qs, samples,
                  u"--remote-name"_qs, u"お気に入り.html"_qs},
                 &out, &err),
             0);
    QVERIFY2(out.contains(u"○転送成功"_qs), qPrintable(out + err));
    // The remote name went out in code page 932; the page came over the wire as ASCII-mode text
    // (the server stores what it receives): every line ends in CR LF, never CR CR LF.
    QFile page(root + u"/www/お気に入り.html"_qs);
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray sent = page.readAll();
    QVERIFY(sent.contains(Cp932::fromUnicode(u"天気予報"_qs)));
    QVERIFY(!sent.contains("\r\r"));
    QCOMPARE(sent.count("\r\n"), sent.count('\n'));
    // A name the code page cannot carry is refused before anything goes out, not sent as "caf?".
    QCOMPARE(cli({u"publish"_qs, u"--connection"_qs, u"試験サーバー"_qs, u"--input"_qs, samples,
                  u"--remote-name"_qs, u"café.html"_qs},
                 &out, &err),
             2);
    QVERIFY(QDir(root + u"/www"_qs).entryList(QDir::Files).size() == 1);

    // A refused login is a failed publication, and the tool says so by its exit status.
    record.setFtpPwd(u"wrong"_qs);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write(
        Cp932::fromUnicode(u"[FTP]\r\nCount=1\r\nData_1="_qs + record.ConnectData() + u"\r\n"_qs));
    s.close();
    QCOMPARE(
        cli({u"publish"_qs, u"--connection"_qs, u"試験サーバー"_qs, u"--input"_qs, samples}, &out),
        1);
    QVERIFY2(out.contains(u"×転送失敗"_qs), qPrintable(out));
}

namespace {

// A shortcut's bytes as both the restore and the import write them.
QByteArray shortcut(const char *kind, int folder, int link)
{
    return "[InternetShortcut]\r\nURL=http://" + QByteArray(kind) + '/' +
           QByteArray::number(folder) + '/' + QByteArray::number(link) + "\r\n";
}

constexpr int KillFolders = 3;
constexpr int KillLinks = 10;

// Every file below root whole: as an uninterrupted run made it, or as it was before; and the
// temporary files left.
QStringList tornOrStray(const QString &root, const QString &whole, const QString &old,
                        qsizetype *strays)
{
    const auto bytesOf = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    };
    QStringList torn;
    *strays = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(u".vellumdex-tmp-"_qs)) {
            ++*strays;
            continue;
        }
        const QString relative = QDir(root).relativeFilePath(path);
        const QByteArray bytes = bytesOf(path);
        if (bytes != bytesOf(whole + u'/' + relative) && bytes != bytesOf(old + u'/' + relative))
            torn << path;
    }
    return torn;
}

} // namespace

void TestCli::killedRunLeavesShortcutsWholeAndNoStray_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("existing");
    QTest::newRow("restore into a fresh folder") << u"restore"_qs << false;
    QTest::newRow("restore over an existing tree") << u"restore"_qs << true;
    QTest::newRow("import into a fresh folder") << u"import"_qs << false;
    QTest::newRow("import over an existing tree") << u"import"_qs << true;
}

void TestCli::killedRunLeavesShortcutsWholeAndNoStray()
{
    QFETCH(QString, command);
    QFETCH(bool, existing);
    QByteArray bookmarks = "<H1>Fav</H1><DL>";
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    for (int d = 0; d < KillFolders; ++d) {
        bookmarks += "<DT><H3>d" + QByteArray::number(d) + "</H3><DL>";
        for (int l = 0; l < KillLinks; ++l) {
            const QString name = u"/d"_qs + QString::number(d) + u"/l"_qs + QString::number(l);
            write(m_dir->filePath(u"src/Fav"_qs + name + u".url"_qs), shortcut("new", d, l));
            // Where the restore puts the page's top folder, and where the import puts the
            // bookmark file's folders.
            write(m_dir->filePath(u"old/Fav"_qs + name + u".url"_qs), shortcut("old", d, l));
            write(m_dir->filePath(u"old"_qs + name + u".url"_qs), shortcut("old", d, l));
            bookmarks += "<DT><A HREF=\"http://new/" + QByteArray::number(d) + '/' +
                         QByteArray::number(l) + "\">l" + QByteArray::number(l) + "</A>";
        }
        bookmarks += "</DL>";
    }
    write(m_dir->filePath(u"b.html"_qs), bookmarks + "</DL>");
    QCOMPARE(cli({u"convert"_qs, u"--input"_qs, m_dir->filePath(u"src/Fav"_qs), u"--output"_qs,
                  u"page.html"_qs, u"--restore-block"_qs}),
             0);
    const QString input =
        m_dir->filePath(command == u"restore"_qs ? u"page.html"_qs : u"b.html"_qs);
    const auto start = [&](QProcess &p, const QString &target) {
        p.setWorkingDirectory(m_dir->path());
        p.start(program() + u"/vellumdex-cli"_qs, {command, input, target});
        return p.waitForStarted(10000);
    };
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(cli({command, input, m_dir->filePath(u"whole"_qs)}), 0);
    const qint64 whole = qMax<qint64>(timer.elapsed(), 5);

    const QString target = m_dir->filePath(u"target"_qs);
    const QString wholeTree = m_dir->filePath(u"whole"_qs);
    const QString oldTree = m_dir->filePath(u"old"_qs);
    for (int round = 0; round < 100; ++round) {
        if (round % 10 == 0) {
            QDir(target).removeRecursively();
            if (existing)
                QCOMPARE(
                    QProcess::execute(u"cp"_qs, {u"-a"_qs, m_dir->filePath(u"old"_qs), target}), 0);
        }
        QProcess p;
        QVERIFY(start(p, target));
        QThread::usleep(QRandomGenerator::global()->bounded(quint32(whole * 1000)));
        p.kill();
        QVERIFY(p.waitForFinished(10000));
        qsizetype strays = 0;
        const QStringList torn = tornOrStray(target, wholeTree, oldTree, &strays);
        QVERIFY2(torn.isEmpty(), qPrintable(torn.join(u' ')));
        if (round % 10 == 9) {
            // The next run into the same folder takes away what the killed ones left.
            QCOMPARE(cli({command, input, target}), 0);
            QCOMPARE(tornOrStray(target, wholeTree, oldTree, &strays), QStringList());
            QCOMPARE(strays, 0);
        }
    }
}

void TestCli::strayHeldInAnotherPidNamespaceIsKept()
{
    // A run of another instance in its own process namespace holds its temporary file locked;
    // its process number means nothing here.
    const QString folder = m_dir->filePath(u"fav"_qs);
    QDir().mkpath(folder);
    const QString held = folder + u"/.vellumdex-tmp-2-0123abcd"_qs;
    const QString left = folder + u"/.vellumdex-tmp-999999-89abcdef"_qs;
    QFile(left).open(QIODevice::WriteOnly);
    QProcess other;
    other.start(u"unshare"_qs,
                {u"--pid"_qs, u"--fork"_qs, u"flock"_qs, held, u"sleep"_qs, u"60"_qs});
    QVERIFY(other.waitForStarted(10000));
    const auto stop = qScopeGuard([&other] {
        other.kill();
        other.waitForFinished(10000);
    });
    for (int i = 0; i < 200 && !QFileInfo::exists(held); ++i)
        QThread::msleep(10);
    // QTest::qSkip: QSKIP with one argument trips clang's pedantic check.
    if (other.state() != QProcess::Running) {
        QTest::qSkip("no process namespace may be made here", __FILE__, __LINE__);
        return;
    }
    QVERIFY(QFileInfo::exists(held));
    QThread::msleep(100); // flock holds the lock once it has made the file
    QCOMPARE(
        cli({u"import"_qs, QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/firefox.html"), folder}),
        0);
    QCOMPARE(
        cli({u"restore"_qs, QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/firefox.html"), folder}),
        0);
    QVERIFY(QFileInfo::exists(held));
    QVERIFY(!QFileInfo::exists(left));

    // The copy of a browser's database that a killed import left goes at the next start.
    const QString temp = m_dir->filePath(u"tmp"_qs);
    QDir().mkpath(temp + u"/.vellumdex-tmp-copy"_qs);
    QFile(temp + u"/.vellumdex-tmp-copy/places.sqlite"_qs).open(QIODevice::WriteOnly);
    const QByteArray before = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    QCOMPARE(cli({u"definitions"_qs}), 0);
    qputenv("TMPDIR", before);
    QVERIFY(QDir(temp).isEmpty());
}

// Ctrl+C ends a conversion as "中止" does in the window: at the next file, no page written.
void TestCli::interruptStopsTheRunAtTheNextFile()
{
    const QString shm = u"/dev/shm"_qs;
    QTemporaryDir big((QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) + u"/cli-XXXXXX"_qs);
    for (int d = 0; d < 50; ++d) {
        const QString folder = big.filePath(u"f"_qs + QString::number(d));
        QDir().mkpath(folder);
        for (int i = 0; i < 400; ++i) {
            QFile f(folder + u'/' + QString::number(i) + u".url"_qs);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[InternetShortcut]\r\nURL=http://example.jp/\r\n");
        }
    }
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(program() + u"/vellumdex-cli"_qs,
            {u"convert"_qs, u"--input"_qs, big.path(), u"--output"_qs, u"page.html"_qs});
    QVERIFY(p.waitForStarted());
    while (!p.canReadLine())
        QVERIFY(p.waitForReadyRead(20000));
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.endsWith(u"  変換を中止しました。\n----------------------------\n"_qs),
             qPrintable(out.right(200)));
    QVERIFY(QString::fromUtf8(p.readAllStandardError())
                .contains(u"中止の指示により処理を止めました"_qs));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"page.html"_qs)));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

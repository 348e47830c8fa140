// SPDX-License-Identifier: GPL-3.0-or-later
#include "SavedRound.h"
#include "base/Cp932.h"
#include "base/TextLines.h"
#include "settings/IniClass.h"
#include "settings/code_main.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void codePageReplacesWhatItCannotHold_data();
    void codePageReplacesWhatItCannotHold();
    void iniReadsAsThePlatformDoes_data();
    void iniReadsAsThePlatformDoes();
    void iniGetAllSettings_data();
    void iniGetAllSettings();
    void iniWritesChangeOnlyTheirLine_data();
    void iniWritesChangeOnlyTheirLine();
    void iniValuesReadBackAsWritten_data();
    void iniValuesReadBackAsWritten();
    void iniReadsLongValuesWhole();
    void iniSettingsFileIsOwnerOnly();
    void iniListAndFormSettings();
    void versionText_data();
    void versionText();
    void testModeCommandLine_data();
    void testModeCommandLine();
    void startupCreatesNoFile();

    // A save cut off at any moment (SIGKILL) leaves the old file or the new one, never a torn one.
    void killedSaveLeavesOldOrNewFile();

private:
    QString writeFile(const QByteArray &bytes);
    static QByteArray readBytes(const QString &path);
    QTemporaryDir m_dir;
    int m_count = 0;
};

QString TestStartup::writeFile(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++m_count));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
    return path;
}

QByteArray TestStartup::readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestStartup::codePageReplacesWhatItCannotHold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("back");
    QTest::newRow("ascii and controls unchanged")
        << u"a\x1a\x1c\x7f~\\"_qs << QByteArray("a\x1a\x1c\x7f~\\") << u"a\x1a\x1c\x7f~\\"_qs;
    QTest::newRow("kana and kanji")
        << u"お気に入りｱ"_qs << QByteArray("\x82\xa8\x8b\x43\x82\xc9\x93\xfc\x82\xe8\xb1")
        << u"お気に入りｱ"_qs;
    QTest::newRow("NEC and IBM extensions")
        << u"①ⅰ"_qs << QByteArray("\x87\x40\xfa\x40") << u"①ⅰ"_qs;
    QTest::newRow("not held becomes ?") << u"é―—"_qs << QByteArray("?\x81\x5c?") << u"?―?"_qs;
    QTest::newRow("one ? for a pair") << u"x😀y"_qs << QByteArray("x?y") << u"x?y"_qs;
}

void TestStartup::codePageReplacesWhatItCannotHold()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, back);
    QCOMPARE(Cp932::fromUnicode(text), bytes);
    QCOMPARE(Cp932::toUnicode(bytes), back);
}

void TestStartup::iniReadsAsThePlatformDoes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QByteArray crlf = "[System]\r\nInputFolder=C:\\Fav\r\nEmpty=\r\n";
    QTest::newRow("present") << crlf << u"System"_qs << u"InputFolder"_qs << u"C:\\Fav"_qs;
    QTest::newRow("empty value is not the default")
        << crlf << u"System"_qs << u"Empty"_qs << QString();
    QTest::newRow("missing key") << crlf << u"System"_qs << u"Nope"_qs << u"<default>"_qs;
    QTest::newRow("missing section") << crlf << u"Other"_qs << u"Empty"_qs << u"<default>"_qs;
    QTest::newRow("case-insensitive") << crlf << u"SYSTEM"_qs << u"inputfolder"_qs << u"C:\\Fav"_qs;
    QTest::newRow("LF lines") << QByteArray("[a]\nk=v\n") << u"a"_qs << u"k"_qs << u"v"_qs;
    QTest::newRow("CR lines") << QByteArray("[a]\rk=v\rj=w") << u"a"_qs << u"j"_qs << u"w"_qs;
    QTest::newRow("blanks trimmed")
        << QByteArray("  [ a ]  \r\n  k  =  v w  \r\n") << u"a"_qs << u"k"_qs << u"v w"_qs;
    QTest::newRow("double quotes dropped")
        << QByteArray("[a]\r\nk=\" v \"\r\n") << u"a"_qs << u"k"_qs << u" v "_qs;
    QTest::newRow("single quotes dropped")
        << QByteArray("[a]\r\nk='v'\r\n") << u"a"_qs << u"k"_qs << u"v"_qs;
    QTest::newRow("unmatched quote kept")
        << QByteArray("[a]\r\nk=\"v'\r\n") << u"a"_qs << u"k"_qs << u"\"v'"_qs;
    QTest::newRow("first of two keys")
        << QByteArray("[a]\r\nk=1\r\nK=2\r\n") << u"a"_qs << u"k"_qs << u"1"_qs;
    QTest::newRow("value with =") << QByteArray("[a]\r\nk=x=y\r\n") << u"a"_qs << u"k"_qs
                                  << u"x=y"_qs;
    QTest::newRow("code page 932")
        << QByteArray("[\x83\x65\x83\x58\x83\x67]\r\nk=\x93\xfa\x96\x7b\r\n") << u"テスト"_qs
        << u"k"_qs << u"日本"_qs;
    QTest::newRow("unreadable bytes become ?")
        << QByteArray("[a]\r\nk=\x85\x40x\r\n") << u"a"_qs << u"k"_qs << u"?x"_qs;
}

void TestStartup::iniReadsAsThePlatformDoes()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    IniClass ini;
    ini.SetFile(writeFile(file));
    ini.SetSection(section);
    QCOMPARE(ini.T_GetSetting(key, u"<default>"_qs), expected);
    QCOMPARE(ini.T_GetSetting(key, u"<default>"_qs, section), expected);

    IniClass missing;
    missing.SetFile(m_dir.filePath(u"nothing-here.ini"_qs));
    QCOMPARE(missing.T_GetSetting(key, u"<default>"_qs, section), u"<default>"_qs);
}

void TestStartup::iniGetAllSettings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lines without = skipped")
        << QByteArray("[s]\r\na=1\r\nno equals\r\nb=x=y\r\n[t]\r\nc=3\r\n") << u"a:1|b:x=y"_qs;
    QTest::newRow("missing section is Empty") << QByteArray("[t]\r\nc=3\r\n") << QString();
    QString big = u"[s]\r\n"_qs;
    for (int i = 0; i < 600; ++i)
        big += QStringLiteral("Key%1=value number %1\r\n").arg(i);
    QTest::newRow("section past 4096 bytes read whole") << big.toLatin1() << u"600"_qs;
}

void TestStartup::iniGetAllSettings()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    IniClass ini;
    ini.SetFile(writeFile(file));
    const IniClass::Table rows = ini.T_GetAllSettings(u"s"_qs);
    if (expected == u"600"_qs) {
        QCOMPARE(rows.size(), 600);
        QCOMPARE(rows.last().first, u"Key599"_qs);
        return;
    }
    QStringList got;
    for (const auto &r : rows)
        got << r.first + u':' + r.second;
    QCOMPARE(got.join(u'|'), expected);
}

void TestStartup::iniWritesChangeOnlyTheirLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("action"); // save:key=value, delete:key, delete:
    QTest::addColumn<QString>("section");
    QTest::addColumn<QByteArray>("after");
    const QByteArray ftp = "; stored "
                           "connections\r\n[FTP]\r\nCount=3\r\nData_1=a\r\nData_2=b\r\nData_3="
                           "c\r\n\r\n[System]\r\nX=1\r\n";
    QTest::newRow("new file") << QByteArray() << u"save:Key=値"_qs << u"System"_qs
                              << QByteArray("[System]\r\nKey=\x92\x6c\r\n");
    QTest::newRow("new key lands after the last key, comment kept")
        << ftp << u"save:Data_4=d"_qs << u"ftp"_qs
        << QByteArray("; stored "
                      "connections\r\n[FTP]\r\nCount=3\r\nData_1=a\r\nData_2=b\r\nData_3=c\r\nData_"
                      "4=d\r\n\r\n[System]\r\nX=1\r\n");
    QTest::newRow("existing key replaced in place")
        << ftp << u"save:count=2"_qs << u"FTP"_qs
        << QByteArray("; stored "
                      "connections\r\n[FTP]\r\ncount=2\r\nData_1=a\r\nData_2=b\r\nData_3=c\r\n\r\n["
                      "System]\r\nX=1\r\n");
    QTest::newRow("delete one key only, case ignored")
        << ftp << u"delete:data_2"_qs << u"FTP"_qs
        << QByteArray("; stored "
                      "connections\r\n[FTP]\r\nCount=3\r\nData_1=a\r\nData_3=c\r\n\r\n[System]"
                      "\r\nX=1\r\n");
    QTest::newRow("delete whole section, rest untouched")
        << ftp << u"delete:"_qs << u"FTP"_qs
        << QByteArray("; stored connections\r\n[System]\r\nX=1\r\n");
    QTest::newRow("new section appended, LF kept") << QByteArray("[a]\nk=v\n") << u"save:n=1"_qs
                                                   << u"b"_qs << QByteArray("[a]\nk=v\n[b]\nn=1\n");
    QTest::newRow("not held written escaped") << QByteArray() << u"save:k=é😀"_qs << u"s"_qs
                                              << QByteArray("[s]\r\nk=&#0;&#xE9;&#x1F600;\r\n");
    // Neighbours the code page cannot give back as they are: UTF-8, the NEC duplicate of an
    // IBM character, a second section of the same name.
    const QByteArray hostile = "; \xe3\x81\x82 UTF-8\r\n[System]\r\nUtf8=caf\xc3\xa9\r\n"
                               "Nec=\xed\x40\xfa\x5c\r\nC=0\r\n\r\n[system]\r\nC=9\r\n";
    QTest::newRow("hostile neighbours, key replaced")
        << hostile << u"save:C=1"_qs << u"System"_qs << QByteArray(hostile).replace("C=0", "C=1");
    QTest::newRow("hostile neighbours, key added")
        << hostile << u"save:D=1"_qs << u"System"_qs
        << QByteArray(hostile).replace("C=0\r\n", "C=0\r\nD=1\r\n");
    QTest::newRow("no final line break")
        << QByteArray("[a]\r\nk=v") << u"save:n=1"_qs << u"a"_qs << QByteArray("[a]\r\nk=v\r\nn=1");
    QTest::newRow("LF only, other lines as they were")
        << QByteArray("[a]\nk=v\n[b]\nx=\xed\x40\n") << u"save:k=w"_qs << u"a"_qs
        << QByteArray("[a]\nk=w\n[b]\nx=\xed\x40\n");
    QTest::newRow("caption with blanks and ]")
        << QByteArray("[ 青 ]\r\n") << u"save:k=1"_qs << u" 青]"_qs
        << QByteArray("[ 青 ]\r\n[&#0; \x90\xc2&#x5D;]\r\nk=1\r\n");
    QTest::newRow("deleting the only key drops the section")
        << QByteArray("[a]\r\nk=v\r\n[b]\r\nx=1\r\n") << u"delete:k"_qs << u"a"_qs
        << QByteArray("[b]\r\nx=1\r\n");
}

void TestStartup::iniWritesChangeOnlyTheirLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, action);
    QFETCH(QString, section);
    QFETCH(QByteArray, after);
    const QString path = before.isNull() ? m_dir.filePath(QStringLiteral("w%1.ini").arg(++m_count))
                                         : writeFile(before);
    IniClass ini;
    ini.SetFile(path);
    ini.SetSection(section);
    if (action.startsWith(u"save:"_qs)) {
        const QString kv = action.mid(5);
        const qsizetype eq = kv.indexOf(u'=');
        QVERIFY(ini.T_SaveSetting(kv.left(eq), kv.mid(eq + 1)));
    } else {
        QVERIFY(ini.T_DeleteSetting(action.mid(7)));
    }
    QCOMPARE(readBytes(path), after);
}

void TestStartup::iniValuesReadBackAsWritten_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line"); // as stored, when it matters
    QTest::newRow("held: as the Windows program writes it")
        << u"C:\\お気に入り"_qs << QByteArray("C:\\\x82\xa8\x8b\x43\x82\xc9\x93\xfc\x82\xe8");
    QTest::newRow("ü") << u"/home/müller/Favorites"_qs
                       << QByteArray("&#0;/home/m&#xFC;ller/Favorites");
    QTest::newRow("emoji and Hangul") << u"😀 한국어 "_qs << QByteArray();
    QTest::newRow("CR and LF inside")
        << u"a\r\nb\rc\n"_qs << QByteArray("&#0;a&#xD;&#xA;b&#xD;c&#xA;");
    QTest::newRow("blanks at the ends") << u"  x "_qs << QByteArray("\"  x \"");
    QTest::newRow("in quotes") << u"'x'"_qs << QByteArray("\"'x'\"");
    QTest::newRow("brackets, = and ;") << u";[a]=b"_qs << QByteArray();
    QTest::newRow("looks escaped") << u"&#0;&amp;&#x41;"_qs << QByteArray();
    QTest::newRow("100,000 characters") << u"ü한😀\r"_qs.repeated(20000) << QByteArray();
}

// The value also serves as section and key name: every one comes back, and a second save of
// the same changes no byte.
void TestStartup::iniValuesReadBackAsWritten()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    IniClass ini;
    ini.SetFile(m_dir.filePath(QStringLiteral("v%1.ini").arg(++m_count)));
    QVERIFY(ini.T_SaveSetting(u"k"_qs, value, u"s"_qs));
    QVERIFY(ini.T_SaveSetting(value, u"1"_qs, value));
    const QByteArray bytes = readBytes(ini.fileName());
    QVERIFY(ini.T_SaveSetting(value, u"1"_qs, value));
    QCOMPARE(readBytes(ini.fileName()), bytes);
    if (!line.isEmpty())
        QVERIFY(bytes.startsWith("[s]\r\nk=" + line + "\r\n"));
    QCOMPARE(ini.T_GetSetting(u"k"_qs, QString(), u"s"_qs), value);
    QCOMPARE(ini.T_GetSetting(value, QString(), value), u"1"_qs);
}

void TestStartup::iniReadsLongValuesWhole()
{
    IniClass ini;
    ini.SetFile(m_dir.filePath(u"long.ini"_qs));
    const QString value = QString(u'あ').repeated(5000);
    ini.T_SaveSetting(u"k"_qs, value, u"s"_qs);
    QCOMPARE(ini.T_GetSetting(u"k"_qs, QString(), u"s"_qs), value);
}

void TestStartup::iniSettingsFileIsOwnerOnly()
{
    IniClass ini;
    const QString path = m_dir.filePath(u"Vellumdex.ini"_qs);
    ini.SetFile(path);
    ini.T_SaveSetting(u"Count"_qs, u"0"_qs, u"FTP"_qs);
    QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
    // No temporary file is left beside it.
    QCOMPARE(
        QDir(m_dir.path()).entryList({u"Vellumdex.ini*"_qs}, QDir::Files | QDir::Hidden).size(), 1);
}

void TestStartup::iniListAndFormSettings()
{
    IniClass ini;
    ini.SetFile(m_dir.filePath(u"list.ini"_qs));
    ini.SetSection(u"s"_qs);
    ini.ListSaveSetting(u"Recent"_qs, {u"a"_qs, u"b"_qs});
    QStringList back{u"x"_qs, u"y"_qs, u"keep"_qs};
    ini.ListGetSetting(u"Recent"_qs, back);
    QCOMPARE(back, (QStringList{u"a"_qs, u"b"_qs, u"keep"_qs}));

    ini.FormSaveSetting({u"frm_main"_qs, false, QRect(15, 30, 4500, 3000)});
    QCOMPARE(ini.T_GetSetting(u"frm_main_Top"_qs), u"30"_qs);
    QCOMPARE(ini.T_GetSetting(u"frm_main_Height"_qs), u"3000"_qs);
    ini.FormSaveSetting({u"frm_other"_qs, true, QRect(1, 2, 3, 4)});
    QCOMPARE(ini.T_GetSetting(u"frm_other_Top"_qs, u"none"_qs), u"none"_qs);
}

void TestStartup::versionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("release") << 1 << 2 << 101 << u"Ver.1.02a"_qs;
    QTest::newRow("revision 0") << 1 << 2 << 0 << u"Ver.1.02"_qs;
    QTest::newRow("revision 100") << 1 << 2 << 100 << u"Ver.1.02"_qs;
    QTest::newRow("beta") << 1 << 2 << 7 << u"Ver.1.02β7"_qs;
    QTest::newRow("beta 99") << 1 << 2 << 99 << u"Ver.1.02β99"_qs;
    QTest::newRow("b") << 2 << 15 << 102 << u"Ver.2.15b"_qs;
}

void TestStartup::versionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(code_main::GetVersionText(u"Ver."_qs, major, minor, revision), expected);
    QCOMPARE(code_main::GetVersionText(u"Ver."_qs), u"Ver.1.02a"_qs);
}

void TestStartup::testModeCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("testMode");
    QTest::newRow("exact") << QStringList{u"/TestMode"_qs} << true;
    QTest::newRow("other case") << QStringList{u"/testmode"_qs} << false;
    QTest::newRow("further argument") << QStringList{u"/TestMode"_qs, u"x"_qs} << false;
    QTest::newRow("empty") << QStringList{} << false;
}

void TestStartup::testModeCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, testMode);
    code_main::setProgramFolder(m_dir.path());
    code_main::Startup(arguments);
    QCOMPARE(code_main::TestMode(), testMode);
}

void TestStartup::startupCreatesNoFile()
{
    QTemporaryDir dir;
    code_main::setProgramFolder(dir.path());
    code_main::Startup({});
    QCOMPARE(code_main::SettingsIni().fileName(), dir.filePath(u"Vellumdex.ini"_qs));
    QCOMPARE(code_main::SettingsIni().section(), u"System"_qs);
    QCOMPARE(code_main::ConfigIni().fileName(), dir.filePath(u"Config.ini"_qs));
    QCOMPARE(code_main::SettingsIni().T_GetSetting(u"InputFolder"_qs, u"d"_qs), u"d"_qs);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestStartup::killedSaveLeavesOldOrNewFile()
{
    const QString folder = m_dir.filePath(u"killed"_qs);
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + u"/Vellumdex.ini"_qs;
    const QString ftpRecord =
        u"サーバー,ftp.example.jp,/www,user,abcdefghijklmnopqrstuvwxyz0123,True"_qs;
    IniClass ini;
    ini.SetFile(path);
    ini.T_SaveSetting(u"Count"_qs, u"1"_qs, u"FTP"_qs);
    ini.T_SaveSetting(u"Data_1"_qs, ftpRecord, u"FTP"_qs);
    ini.T_SaveSetting(u"Count"_qs, u"0"_qs, u"System"_qs);
    ini.T_SaveSetting(u"Data"_qs, savedRound(0), u"System"_qs);
    const QFile::Permissions permissions = QFile::permissions(path);
    // Round n of the saver writes Data first, then Count: a whole file is one of these.
    const auto render = [&](qint64 count, qint64 data) {
        return Cp932::fromUnicode(u"[FTP]\r\nCount=1\r\nData_1="_qs + ftpRecord +
                                  u"\r\n[System]\r\nCount="_qs + QString::number(count) +
                                  u"\r\nData="_qs + savedRound(data) + u"\r\n"_qs);
    };
    QCOMPARE(readBytes(path), render(0, 0));

    QRandomGenerator random(20261209);
    qint64 lastCount = 0;
    int changed = 0;
    int leftovers = 0;
    QByteArray previous = readBytes(path);
    for (int run = 0; run < 300; ++run) {
        QProcess saver;
        saver.start(QStringLiteral(SETTINGS_SAVER), {path});
        QVERIFY(saver.waitForStarted());
        const int wanted = 1 + random.bounded(3);
        for (int lines = wanted; lines > 0;) {
            if (saver.canReadLine())
                lines -= saver.readLine().startsWith("saved");
            else
                QVERIFY(saver.waitForReadyRead());
        }
        QThread::usleep(random.bounded(10000)); // somewhere in the next save
        saver.kill();
        QVERIFY(saver.waitForFinished());
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit); // killed while saving, not ended

        const QByteArray bytes = readBytes(path);
        const qint64 count = ini.T_GetSetting(u"Count"_qs, u"-1"_qs, u"System"_qs).toLongLong();
        const qint64 data = count + (bytes == render(count, count + 1) ? 1 : 0);
        QVERIFY2(
            bytes == render(count, data),
            qPrintable(QStringLiteral("run %1: torn file of %2 bytes").arg(run).arg(bytes.size())));
        QVERIFY(count >= lastCount);
        changed += bytes != previous;
        previous = bytes;
        lastCount = count;
        QCOMPARE(QFile::permissions(path), permissions);
        // A kill between the naming of the finished temporary file and its rename over the
        // settings leaves that file; the next run's first save removes it (nobody holds it
        // locked), so after a save only this run's can be here.
        QStringList others =
            QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QVERIFY(others.removeAll(u"Vellumdex.ini"_qs) == 1);
        QVERIFY2(others.size() <= 1, qPrintable(others.join(u' ')));
        for (const QString &other : others)
            QVERIFY2(other.startsWith(u".vellumdex-tmp-"_qs), qPrintable(other));
        leftovers += others.size();
    }
    QVERIFY2(lastCount > 0, "the saver never got to save");
    qInfo("%lld rounds saved, the file changed in %d of 300 runs, %d temporary files left to the "
          "next",
          lastCount, changed, leftovers);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"

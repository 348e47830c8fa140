// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "bookmarks/BookmarkFile.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ImageData.h"
#include "page/SortItems.h"
#include "page/TemplateBlocks.h"
#include "page/cls_FileSystemObject.h"
#include "page/cls_FolderEvents.h"
#include "page/cls_URL.h"
#include "page/cls_folder.h"
#include "page/cls_htmlcfg.h"
#include "restore/BookmarkImport.h"
#include "restore/FavoritesRestore.h"
#include "restore/SafeFileName.h"
#include "run/MakeHtmlProcess.h"
#include "settings/ProfileFile.h"
#include "settings/code_main.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

namespace {

class RecordingSink : public MessageSink
{
public:
    void information(const QString &text) override { messages << text; }
    QStringList messages;
};

// A definition without images: the template's blocks as they are.
class PlainTemplate : public TemplateBlocks
{
public:
    explicit PlainTemplate(const QString &file)
    {
        m_cfg.SetFileName(file);
        m_cfg.HtmlStatusRead();
    }
    void Htmlcfg_SetParameter(const QStringList &p) override { m_cfg.SetParameter(p); }
    QString Htmlcfg_GetSetting(const QString &key) const override { return m_cfg.GetSetting(key); }
    bool Htmlcfg_GetSettingAround(const QString &key, qsizetype cut, QString &before,
                                  QString &after) const override
    {
        return m_cfg.GetSettingAround(key, cut, before, after);
    }

private:
    cls_htmlcfg m_cfg;
};

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

void writeShortcut(const QString &path, const QString &url)
{
    writeBytes(path, Cp932::fromUnicode(u"[InternetShortcut]\r\nURL="_qs + url + u"\r\n"_qs));
}

void setMtime(const QString &path, qint64 secs)
{
    struct utimbuf t;
    t.actime = t.modtime = time_t(secs);
    ::utime(QFile::encodeName(path).constData(), &t);
}

// Every file below a folder with its bytes, relative paths as keys.
QMap<QString, QByteArray> snapshot(const QString &root, bool withFolders = false)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = QDir(root).relativeFilePath(p);
        if (it.fileInfo().isDir()) {
            if (withFolders)
                files.insert(rel + u'/', QByteArray());
        } else {
            files.insert(rel, readBytes(p));
        }
    }
    return files;
}

QString dataFile(const QString &name)
{
    return QStringLiteral(VELLUMDEX_TEST_DATA "/convert/") + name;
}

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void shortcutTitleAndAddress_data();
    void shortcutTitleAndAddress();
    void shortcutOutsideCodePageUsesTemporaryCopy();
    void decodeCodeLineEnds_data();
    void decodeCodeLineEnds();
    void listingIsNtfsOrder();
    void listingOfMissingFolderFails();
    void listingReportsUnreadableEntry();

    void templateBlocks_data();
    void templateBlocks();
    void markerInParameterIsNotExpandedAgain();

    void treeNumbersAndRestoreBlock();
    void scriptTextsAddressMenus();
    void sortMatchesSelectionRule_data();
    void sortMatchesSelectionRule();
    void sortKeys_data();
    void sortKeys();
    void pageBytesMatchReference();
    void nestedPageBytesMatchReference_data();
    void nestedPageBytesMatchReference();
    void folderBlockCutOrWholeMakesSamePage_data();
    void folderBlockCutOrWholeMakesSamePage();
    void pageWithoutShortcuts();
    void failedRunKeepsPreviousPage_data();
    void failedRunKeepsPreviousPage();

    void restoreFailures_data();
    void restoreFailures();
    void restoreRejectsHostileRecords_data();
    void restoreRejectsHostileRecords();
    void restoreReadsAnyLineEnds();
    void roundTripRestoresSameFiles();
    void truncatedBlockKeepsWhatWasRestored();

    // Bookmark files in
    void bookmarkFixturesImportFolderByFolder_data();
    void bookmarkFixturesImportFolderByFolder();
    void bookmarkTextsAndCharsets_data();
    void bookmarkTextsAndCharsets();
    void bookmarkAddressesFitTheCodePage_data();
    void bookmarkAddressesFitTheCodePage();
    void bookmarkNamesAreSafe_data();
    void bookmarkNamesAreSafe();
    void bookmarkDuplicatesGetNumbers();
    void bookmarkImportStaysInsideBase();
    void importNeverWritesThroughASwappedLink_data();
    void importNeverWritesThroughASwappedLink();
    void bookmarkRoundTripThroughNetscapeForm();
    void exportTreePageImportIsAFixedPoint_data();
    void exportTreePageImportIsAFixedPoint();
    void linkTitleComesFromItsBookmarkSection_data();
    void linkTitleComesFromItsBookmarkSection();
    void definitionNamesItsPageEncoding_data();
    void definitionNamesItsPageEncoding();
    void bookmarkFileIsRecognised_data();
    void bookmarkFileIsRecognised();
    void restoreTakesTheBlockBeforeTheBookmarks();
    void malformedBookmarkFileKeepsWhatWasWritten();
    void deepBookmarkNestingIsBounded();
    void bigBookmarkFileImportsEveryLink();
    void firefoxPlacesImportAsFirefoxWroteThem();
    void chromiumBookmarksImportTheThreeRoots();
    void chromiumBookmarksReadInAnyKeyOrder_data();
    void chromiumBookmarksReadInAnyKeyOrder();
    void browserBookmarksBadInputWritesNothing_data();
    void browserBookmarksBadInputWritesNothing();

    // Faults in the middle of a run or a restore: the log says what went wrong, and what was
    // there before (the previous page, restored files) is still there.
    void runFaultKeepsPreviousPage_data();
    void runFaultKeepsPreviousPage();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void restoreCutAtEveryLineNamesThePart();
    void restoreNeverWritesThroughLinks();
    void lineBreakInShortcutNameStaysInItsRecord();
    void roundTripKeepsEveryNameByteAndDate();
    void longestNamesCanBeReplaced_data();
    void longestNamesCanBeReplaced();
    void roundTripOfRandomTrees();
    void restoreKeepsEqualNamesApart();
    void deepAndWideRestoresAreWhole();
    void craftedInputIsRefusedWithItsCause_data();
    void craftedInputIsRefusedWithItsCause();

private:
    QString makeExampleTree();
    QByteArray convert(const QString &input, bool restoreBlock, bool sort = false, int order = 1,
                       bool desc = false, QStringList *log = nullptr);

    QTemporaryDir *m_dir = nullptr;
    RecordingSink m_sink;
};

void TestConvert::init()
{
    m_dir = new QTemporaryDir;
    m_sink.messages.clear();
    MessageSink::install(&m_sink);
}

void TestConvert::cleanup()
{
    MessageSink::install(nullptr);
    delete m_dir;
}

QString TestConvert::makeExampleTree()
{
    const QString top = m_dir->filePath(u"Fav"_qs);
    writeShortcut(top + u"/A.url"_qs, u"http://a.example/"_qs);
    writeShortcut(top + u"/B.url"_qs, u"http://b.example/?x=1&y=2"_qs);
    writeShortcut(top + u"/S/C.url"_qs, u"http://c.example/"_qs);
    QDir().mkpath(top + u"/E"_qs);
    writeBytes(top + u"/readme.txt"_qs, "not a shortcut");
    return top;
}

QByteArray TestConvert::convert(const QString &input, bool restoreBlock, bool sort, int order,
                                bool desc, QStringList *log)
{
    PlainTemplate tpl(dataFile(u"simple.html"_qs));
    MakeHtmlProcess run;
    run.setInputFolder(input);
    run.setDecodeFlag(restoreBlock);
    run.setSort(sort);
    run.setSortOrder(order);
    run.setSortDESC(desc);
    if (log)
        connect(&run, &MakeHtmlProcess::logLine, this, [log](const QString &l) { *log << l; });
    const QString out = m_dir->filePath(u"out/page.html"_qs);
    QDir().mkpath(m_dir->filePath(u"out"_qs));
    run.HtmlMake(out, tpl);
    return readBytes(out);
}

void TestConvert::shortcutTitleAndAddress_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("url");
    QTest::newRow("ampersand in name")
        << u"A&B.url"_qs << QByteArray("[InternetShortcut]\r\nURL=http://x/\r\n") << u"A&amp;B"_qs
        << u"http://x/"_qs;
    QTest::newRow("two ampersands and an entity in the address")
        << u"q.url"_qs << QByteArray("[InternetShortcut]\r\nURL=http://x/?a=1&b=2&amp;c\r\n")
        << u"q"_qs << u"http://x/?a=1&amp;b=2&amp;amp;c"_qs;
    const auto utf16 = [](const QString &t) {
        QByteArray b("\xff\xfe");
        for (const QChar c : t)
            b.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        return b;
    };
    QTest::newRow("address of the UTF-7 section, outside the code page as UTF-8")
        << u"w.url"_qs
        << QByteArray("[InternetShortcut]\r\nURL=http://x/?\r\n[InternetShortcut.W]\r\n"
                      "URL=http://x/+2D3eAA-a+-b\r\n")
        << u"w"_qs << u"http://x/%F0%9F%98%80a+b"_qs;
    QTest::newRow("UTF-16LE file")
        << u"한.url"_qs << utf16(u"[InternetShortcut]\r\nURL=http://x/한\r\n"_qs) << u"&#54620;"_qs
        << u"http://x/%ED%95%9C"_qs;
    QTest::newRow("UTF-8 file")
        << u"x\u301C.url"_qs
        << QByteArray("\xef\xbb\xbf[InternetShortcut]\r\nURL=http://x/\xc3\xa9\r\n")
        << u"x&#12316;"_qs << u"http://x/%C3%A9"_qs;
    QTest::newRow("markup cannot break out of the attribute")
        << u"<b>.url"_qs << QByteArray("[InternetShortcut]\r\nURL=http://x/\"><script>\r\n")
        << u"&lt;b&gt;"_qs << u"http://x/&quot;&gt;&lt;script&gt;"_qs;
    QTest::newRow("no section gives an empty address")
        << u"n.url"_qs << QByteArray("[Other]\r\nURL=http://x/\r\n") << u"n"_qs << QString();
    QTest::newRow("Japanese in the address the code page holds, as UTF-8")
        << u"s.url"_qs
        << Cp932::fromUnicode(u"[InternetShortcut]\r\nURL=https://x/検索?q=ｿﾌﾄ&r=1\r\n"_qs)
        << u"s"_qs << u"https://x/%E6%A4%9C%E7%B4%A2?q=%EF%BD%BF%EF%BE%8C%EF%BE%84&amp;r=1"_qs;
    QTest::newRow("Japanese name and LF lines")
        << u"日本語.URL"_qs << QByteArray("[InternetShortcut]\nURL=http://jp/\n") << u"日本語"_qs
        << u"http://jp/"_qs;
}

void TestConvert::shortcutTitleAndAddress()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, title);
    QFETCH(QString, url);
    writeBytes(m_dir->filePath(fileName), content);
    cls_URL link;
    link.SetFileName(m_dir->path() + u'/', fileName);
    QCOMPARE(link.Title(), title);
    QCOMPARE(link.URL(), url);
    QVERIFY(m_sink.messages.isEmpty());
}

void TestConvert::shortcutOutsideCodePageUsesTemporaryCopy()
{
    // Every character reaches the page, as a reference where the code page cannot hold it,
    // and no message is raised for it.
    const QString name = u"Café 😀.url"_qs;
    writeShortcut(m_dir->filePath(name), u"http://cafe/"_qs);
    cls_URL link;
    link.SetFileName(m_dir->path() + u'/', name);
    QCOMPARE(link.Title(), u"Caf&#233; &#128512;"_qs);
    QCOMPARE(link.URL(), u"http://cafe/"_qs);
    QVERIFY(m_sink.messages.isEmpty());
}

void TestConvert::decodeCodeLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("record");
    const QString head = u"FileName=L\r\nParentID=7\r\n"_qs;
    QTest::newRow("three lines")
        << QByteArray("[InternetShortcut]\r\nURL=u\r\nIconIndex=0\r\n")
        << head + u"FileLine=3\r\n[InternetShortcut]\r\nURL=u\r\nIconIndex=0\r\n"_qs;
    QTest::newRow("last line without break")
        << QByteArray("[InternetShortcut]\r\nURL=u")
        << head + u"FileLine=2\r\n[InternetShortcut]\r\nURL=u\r\n"_qs;
    QTest::newRow("CR only") << QByteArray("[InternetShortcut]\rURL=u\r")
                             << head + u"FileLine=2\r\n[InternetShortcut]\r\nURL=u\r\n"_qs;
    QTest::newRow("empty file") << QByteArray() << head + u"FileLine=0\r\n"_qs;
}

void TestConvert::decodeCodeLineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, record);
    writeBytes(m_dir->filePath(u"L.url"_qs), content);
    cls_URL link;
    link.SetFileName(m_dir->path() + u'/', u"L.url"_qs);
    QCOMPARE(link.DecodeCode(7), record);
}

void TestConvert::listingIsNtfsOrder()
{
    const QString root = m_dir->filePath(u"list"_qs);
    for (const char *f : {"b.url", "B2.url", "a.url", "_x.url", "A.url", "ｂ.url"})
        writeBytes(root + u'/' + QString::fromUtf8(f), "");
    for (const char *d : {"zeta", "Alpha", "beta"})
        QDir().mkpath(root + u'/' + QString::fromUtf8(d));
    cls_FileSystemObject fso;
    // "." sorts before "2" and "_" (5F) after upper-case letters; equal upper-cased names in
    // code-unit order.
    QCOMPARE(fso.Files(root), (QStringList{u"A.url"_qs, u"a.url"_qs, u"b.url"_qs, u"B2.url"_qs,
                                           u"_x.url"_qs, u"ｂ.url"_qs}));
    const QStringList expected{root + u"/Alpha"_qs, root + u"/beta"_qs, root + u"/zeta"_qs};
    QCOMPARE(fso.Folders(root), expected);
    QCOMPARE(fso.Folders(root + u'/'), expected);
    QCOMPARE(fso.Files(root + u"/zeta"_qs), QStringList());
}

void TestConvert::listingOfMissingFolderFails()
{
    cls_FileSystemObject fso;
    QVERIFY_THROWS_EXCEPTION(RunError, fso.Folders(m_dir->filePath(u"nothing"_qs)));
}

void TestConvert::listingReportsUnreadableEntry()
{
    const QString root = m_dir->filePath(u"dangling"_qs);
    QDir().mkpath(root);
    QFile::link(root + u"/gone.url"_qs, root + u"/link.url"_qs);
    writeBytes(root + u"/ok.url"_qs, "");
    // A FIFO is never opened: reading it would wait for ever.
    QVERIFY(::mkfifo(QFile::encodeName(root + u"/p.url"_qs).constData(), 0644) == 0);
    cls_FileSystemObject fso;
    QCOMPARE(fso.Files(root), QStringList{u"ok.url"_qs});
    const QString rest = u"\r\nファイルが存在しないか開く事が出来ません\r\n\r\n"_qs
                         u"このファイルを除いて処理を続行します"_qs;
    m_sink.messages.sort(); // in the listing's order
    QCOMPARE(m_sink.messages,
             (QStringList{root + u"/link.url"_qs + rest, root + u"/p.url"_qs + rest}));
}

void TestConvert::templateBlocks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("expected"); // "<none>" for a missing block
    const QStringList p{u"P0"_qs, u"P1"_qs, u"P2"_qs};
    QTest::newRow("markers 1 and 0, break dropped")
        << u"cap\r\n<!--Link=Start-->\r\n<a href=\"**Parameter_1--\">**Parameter_0--</a>\r\n<!--Link=End-->\r\n\r\n"_qs
        << u"Link"_qs << u"<a href=\"P1\">P0</a>"_qs;
    QTest::newRow("empty block stored")
        << u"cap\r\n<!--E=Start-->\r\n<!--E=End-->\r\nx\r\n"_qs << u"E"_qs << QString();
    QTest::newRow("end marker on the last line is not stored")
        << u"cap\r\n<!--E=Start-->\r\nbody\r\n<!--E=End-->"_qs << u"E"_qs << u"<none>"_qs;
    QTest::newRow("one more line after the end marker")
        << u"cap\r\n<!--E=Start-->\r\nbody\r\n<!--E=End-->\r\n\r\n"_qs << u"E"_qs << u"body"_qs;
    QTest::newRow("exact case lookup")
        << u"cap\r\n<!--Header=Start-->\r\nh\r\n<!--Header=End-->\r\n\r\n"_qs << u"header"_qs
        << u"<none>"_qs;
    QTest::newRow("marker 12 of ten takes 2 (mod count)")
        << u"cap\r\n<!--B=Start-->\r\n[**Parameter_12ab]\r\n<!--B=End-->\r\n\r\n"_qs << u"B"_qs
        << u"[P0]"_qs;
    QTest::newRow("only the last break removed")
        << u"cap\r\n<!--B=Start-->\r\none\r\ntwo\r\n<!--B=End-->\r\n\r\n"_qs << u"B"_qs
        << u"one\r\ntwo"_qs;
    QTest::newRow("start marker inside a block is text")
        << u"c\r\n<!--B=Start-->\r\n<!--C=Start-->\r\n<!--B=End-->\r\n\r\n"_qs << u"B"_qs
        << u"<!--C=Start-->"_qs;
    QTest::newRow("marker at the very end")
        << u"c\r\n<!--B=Start-->\r\nx**Parameter_2\r\n<!--B=End-->\r\n\r\n"_qs << u"B"_qs
        << u"xP2"_qs;
    QTest::newRow("huge marker number")
        << u"c\r\n<!--B=Start-->\r\n**Parameter_99999999999999999999999--!\r\n<!--B=End-->\r\n\r\n"_qs
        << u"B"_qs << u"P0!"_qs;
}

void TestConvert::templateBlocks()
{
    QFETCH(QString, text);
    QFETCH(QString, block);
    QFETCH(QString, expected);
    const QString file = m_dir->filePath(u"t.html"_qs);
    writeBytes(file, Cp932::fromUnicode(text));
    cls_htmlcfg cfg;
    cfg.SetFileName(file);
    cfg.HtmlStatusRead();
    // 99999999999999999999999 mod 3 = 0, 12 mod 3 = 0
    cfg.SetParameter({u"P0"_qs, u"P1"_qs, u"P2"_qs});
    const bool present = [&] {
        for (const auto &b : cfg.blocks())
            if (b.Key == block)
                return true;
        return false;
    }();
    QCOMPARE(present ? cfg.GetSetting(block) : u"<none>"_qs, expected);
}

void TestConvert::markerInParameterIsNotExpandedAgain()
{
    const QString p0 = u"**Parameter_0--"_qs;
    QCOMPARE(cls_htmlcfg::substitute(u"<**Parameter_0--|**Parameter_1-->"_qs,
                                     {p0, u"**Parameter_1xx"_qs}),
             u"<**Parameter_0--|**Parameter_1xx>"_qs);
    QCOMPARE(cls_htmlcfg::substitute(u"a**Parameter_0--b"_qs, {}), u"ab"_qs);
}

void TestConvert::treeNumbersAndRestoreBlock()
{
    const QString top = makeExampleTree();
    cls_FolderEvents events;
    QSignalSpy visited(&events, &cls_FolderEvents::GetData);
    cls_folder tree;
    tree.setFolderEvCls(&events);
    int idKey = 1;
    QVERIFY(tree.GetData(top, nullptr, false, 1, false, idKey));
    QCOMPARE(idKey, 3);
    QCOMPARE(visited.size(), 3); // E is visited though it is left out
    QCOMPARE(visited.at(1).at(0).toString(), u"E"_qs);
    QCOMPARE(tree.ID(), 2);
    QCOMPARE(tree.LinkCount(), 3);
    QCOMPARE(tree.EncodeFolderCode(),
             u"ID=2\r\nTitle=Fav\r\nParentID=0\r\nID=1\r\nTitle=S\r\nParentID=2\r\n"_qs);
    const QString links = tree.EncodeLinkCode();
    QVERIFY(links.startsWith(
        u"FileName=A\r\nParentID=2\r\nFileLine=2\r\n[InternetShortcut]\r\nURL=http://a.example/\r\n"_qs
        u"FileName=B\r\nParentID=2\r\n"_qs));
    QVERIFY(links.endsWith(
        u"FileName=C\r\nParentID=1\r\nFileLine=2\r\n[InternetShortcut]\r\nURL=http://c.example/\r\n"_qs));
}

void TestConvert::scriptTextsAddressMenus()
{
    const QString top = m_dir->filePath(u"deep"_qs);
    writeShortcut(top + u"/X/Y/y.url"_qs, u"u"_qs);
    writeShortcut(top + u"/X/x.url"_qs, u"u"_qs);
    writeShortcut(top + u"/Z/z.url"_qs, u"u"_qs);
    cls_folder tree;
    int idKey = 1;
    tree.GetData(top, nullptr, false, 1, false, idKey);
    tree.setTopFlag(true);
    // Y=1, X=2, Z=3, top=4
    QCOMPARE(tree.OpenCode(), u"if (Menu1_l.style.display ==''){Menu2_l.style.display='';}\r\n"_qs);
    QCOMPARE(tree.CloseCode(),
             u"if (Menu2_l.style.display =='none'){Menu1_l.style.display='none';}\r\n"_qs);
    QCOMPARE(
        tree.AllCloseCode(),
        u"Menu1_l.style.display = 'none';\r\nMenu2_l.style.display = 'none';\r\nMenu3_l.style.display = 'none';\r\n"_qs);

    cls_folder flat;
    const QString only = m_dir->filePath(u"flat"_qs);
    writeShortcut(only + u"/a.url"_qs, u"u"_qs);
    idKey = 1;
    flat.GetData(only, nullptr, false, 1, false, idKey);
    flat.setTopFlag(true);
    QVERIFY(flat.OpenCode().isEmpty() && flat.CloseCode().isEmpty() &&
            flat.AllCloseCode().isEmpty());
}

namespace {

// The selection rule as the original program applies it, quadratic and plain.
QStringList selectionSort(QStringList items, const std::function<QString(const QString &)> &key,
                          bool desc)
{
    QStringList result;
    while (!items.isEmpty()) {
        QString best = key(items.at(0));
        qsizetype bestIndex = 0;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString current = key(items.at(i));
            if ((!desc && current < best) || (desc && !(best > current))) {
                best = current;
                bestIndex = i;
            }
        }
        result.append(items.takeAt(bestIndex));
    }
    return result;
}

} // namespace

void TestConvert::sortMatchesSelectionRule_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("desc");
    QTest::newRow("name ascending") << 1 << false;
    QTest::newRow("name descending") << 1 << true;
    QTest::newRow("date ascending") << 2 << false;
    QTest::newRow("date descending") << 2 << true;
}

void TestConvert::sortMatchesSelectionRule()
{
    QFETCH(int, order);
    QFETCH(bool, desc);
    const QStringList alphabet{u"a"_qs, u"A"_qs,  u"ａ"_qs, u"b"_qs,  u"カ"_qs,
                               u"ｶ"_qs, u"ガ"_qs, u"1"_qs,  u"１"_qs, u"_"_qs};
    QRandomGenerator rng(42);
    const QString folder = m_dir->filePath(u"sort"_qs);
    QDir().mkpath(folder);
    for (int round = 0; round < 40; ++round) {
        QStringList items;
        QHash<QString, qint64> dates;
        const int n = rng.bounded(1, 25);
        for (int i = 0; i < n; ++i) {
            QString name;
            for (int k = rng.bounded(1, 4); k > 0; --k)
                name += alphabet.at(rng.bounded(alphabet.size()));
            name += QString::number(i % 3 == 0 ? 0 : i); // some equal keys
            items.append(name);
            dates.insert(name, 1600000000 + rng.bounded(4) * 1000); // many equal seconds
        }
        if (order == 2) {
            for (const QString &item : items) {
                writeBytes(folder + u'/' + item, "");
                setMtime(folder + u'/' + item, dates.value(item));
            }
        }
        auto key = [&](const QString &s) {
            return order == 1 ? SortItems::nameKey(s)
                              : QDateTime::fromSecsSinceEpoch(dates.value(s))
                                    .toString(u"yyyy/MM/dd hh:mm:ss"_qs);
        };
        const QStringList expected = selectionSort(items, key, desc);
        QStringList got = items;
        SortItems::sort(got, folder + u'/', order, desc);
        QCOMPARE(got, expected);
    }
}

void TestConvert::sortKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("full-width letters") << u"ａｂＣ１２"_qs << u"ABC12"_qs;
    QTest::newRow("voiced katakana becomes two") << u"ガパ"_qs << u"ｶﾞﾊﾟ"_qs;
    QTest::newRow("symbols and ideographic space") << u"！　ー"_qs << u"! ｰ"_qs;
    QTest::newRow("hiragana unchanged") << u"あ"_qs << u"あ"_qs;
}

void TestConvert::sortKeys()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QCOMPARE(SortItems::nameKey(name), key);
}

void TestConvert::pageBytesMatchReference()
{
    const QString top = makeExampleTree();
    writeShortcut(top + u"/S/日本&<>.url"_qs, u"http://jp.example/?a=1&b=2"_qs);
    QDir().rename(top + u"/S"_qs, top + u"/S & <T>"_qs);
    QStringList log;
    const QByteArray page = convert(top, true, false, 1, false, &log);
    const QByteArray reference = readBytes(dataFile(u"simple-page.html"_qs));
    if (!page.startsWith(reference.chopped(7)))
        writeBytes(QDir::tempPath() + u"/vellumdex-actual-page.html"_qs, page);
    // Byte for byte the page the Windows program reads, up to the dates after the last record.
    QCOMPARE(page.left(reference.size() - 7), reference.chopped(7));
    QVERIFY(reference.endsWith("-->\r\n\r\n"));
    QVERIFY(QRegularExpression(u"^\\[exact\\]\r\n(F T=\\d+\r\n){2}(L T=\\d+\r\n){4}-->\r\n\r\n$"_qs)
                .match(QString::fromLatin1(page.mid(reference.size() - 7)))
                .hasMatch());
    QCOMPARE(log, (QStringList{u"フォルダ情報読み出し [Fav]"_qs, u"フォルダ情報読み出し [E]"_qs,
                               u"フォルダ情報読み出し [S & <T>]"_qs, u"データ変換中 [Fav]"_qs,
                               u"データ変換中 [S & <T>]"_qs, u"復元情報を作成しています"_qs,
                               u"復元情報を作成しました"_qs}));
}

void TestConvert::nestedPageBytesMatchReference_data()
{
    QTest::addColumn<QString>("definition");
    QTest::addColumn<bool>("restoreBlock");
    QTest::addColumn<QString>("reference");

    QTest::newRow("standard with restore block")
        << u"Default/標準.html"_qs << true << u"nested-standard-page.html"_qs;
    QTest::newRow("bookmark file")
        << u"Netscape/ブックマーク.html"_qs << false << u"nested-bookmarks-page.html"_qs;
}

// Folders inside folders, four levels down, as pages of both shipped definitions held them
// before folders were written in pieces.
void TestConvert::nestedPageBytesMatchReference()
{
    QFETCH(QString, definition);
    QFETCH(bool, restoreBlock);
    QFETCH(QString, reference);

    const QString top = m_dir->filePath(u"Fav"_qs);
    for (const QString &link :
         {u"A.url"_qs, u"B & <b>/b1.url"_qs, u"B & <b>/内側/i1.url"_qs,
          u"B & <b>/内側/深い/d1.url"_qs, u"B & <b>/内側/深い/d2.url"_qs,
          u"B & <b>/内側/深い/最深/z.url"_qs, u"C/D/e.url"_qs, u"日本語/x.url"_qs})
        writeShortcut(top + u'/' + link, u"http://example.com/"_qs + link + u"?a=1&b=2"_qs);
    QDir().mkpath(top + u"/空"_qs);
    // Dates the page may show: fixed, deepest first so that no folder's date moves after.
    QStringList entries{top};
    for (QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        entries.append(it.next());
    std::sort(entries.begin(), entries.end(), std::greater<>());
    for (const QString &entry : std::as_const(entries))
        setMtime(entry, 1600000000);

    PlainTemplate tpl(QStringLiteral(VELLUMDEX_SOURCE_DIR "/Config/") + definition);
    MakeHtmlProcess run;
    run.setInputFolder(top);
    run.setDecodeFlag(restoreBlock);
    run.setSort(true);
    const QString out = m_dir->filePath(u"page.html"_qs);
    run.HtmlMake(out, tpl);
    const QByteArray page = readBytes(out);
    if (page != readBytes(dataFile(reference)))
        writeBytes(QDir::tempPath() + u"/vellumdex-actual-"_qs + reference, page);
    QCOMPARE(page, readBytes(dataFile(reference)));
}

void TestConvert::folderBlockCutOrWholeMakesSamePage_data()
{
    QTest::addColumn<QByteArray>("folderBlock");

    QTest::newRow("content twice") << QByteArray("<d>**Parameter_2--|**Parameter_2--</d>\r\n");
    QTest::newRow("content last, marker without dashes") << QByteArray("<d>\r\n**Parameter_2\r\n");
    QTest::newRow("content as parameter 12") << QByteArray("<d>**Parameter_12--</d>\r\n\r\n");
    QTest::newRow("no content") << QByteArray("<d>**Parameter_1--</d>\r\n");
}

// However a definition places a folder's content, writing the folder in pieces gives the page
// that building it as one text gives.
void TestConvert::folderBlockCutOrWholeMakesSamePage()
{
    QFETCH(QByteArray, folderBlock);
    const QString top = makeExampleTree();
    writeShortcut(top + u"/S/T/U/D.url"_qs, u"http://d.example/"_qs);
    const QString definition = m_dir->filePath(u"def.html"_qs);
    writeBytes(definition, "<!--x-->\r\n<!--Header=Start-->\r\nh\r\n<!--Header=End-->\r\n"
                           "<!--Folder=Start-->\r\n" +
                               folderBlock +
                               "<!--Folder=End-->\r\n"
                               "<!--Link=Start-->\r\n<a>**Parameter_0--</a>\r\n<!--Link=End-->\r\n"
                               "<!--Footer=Start-->\r\nf\r\n<!--Footer=End-->\r\n\r\n");
    class WholeTemplate : public PlainTemplate
    {
    public:
        using PlainTemplate::PlainTemplate;
        bool Htmlcfg_GetSettingAround(const QString &, qsizetype, QString &,
                                      QString &) const override
        {
            return false;
        }
    };
    const auto page = [&](TemplateBlocks &tpl) {
        MakeHtmlProcess run;
        run.setInputFolder(top);
        run.setSort(true);
        const QString out = m_dir->filePath(u"page.html"_qs);
        run.HtmlMake(out, tpl);
        return readBytes(out);
    };
    PlainTemplate cut(definition);
    WholeTemplate whole(definition);
    QCOMPARE(page(cut), page(whole));
}

void TestConvert::pageWithoutShortcuts()
{
    const QString top = m_dir->filePath(u"none"_qs);
    QDir().mkpath(top + u"/empty"_qs);
    const QByteArray page = convert(top, true);
    QVERIFY(page.contains(
        "</script></head><body>\r\n\r\n</body></html>\r\n<!--\r\n[encode]\r\nFolder=0\r\n"
        "ID=0\r\nTitle=none\r\nParentID=0\r\nLink=0\r\n[exact]\r\nF T="));
    QVERIFY(page.endsWith("\r\n-->\r\n\r\n"));
    QVERIFY(convert(top, false).endsWith("</body></html>\r\n"));
}

void TestConvert::failedRunKeepsPreviousPage_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("input folder missing") << u"missing"_qs;
    QTest::newRow("input is a file") << u"file.txt"_qs;
}

void TestConvert::failedRunKeepsPreviousPage()
{
    QFETCH(QString, input);
    writeBytes(m_dir->filePath(u"file.txt"_qs), "x");
    const QString out = m_dir->filePath(u"out/page.html"_qs);
    writeBytes(out, "previous page");
    PlainTemplate tpl(dataFile(u"simple.html"_qs));
    MakeHtmlProcess run;
    run.setInputFolder(m_dir->filePath(input));
    QVERIFY_THROWS_EXCEPTION(RunError, run.HtmlMake(out, tpl));
    QCOMPARE(readBytes(out), QByteArray("previous page"));
    QCOMPARE(QDir(m_dir->filePath(u"out"_qs)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"page.html"_qs});

    MakeHtmlProcess missingFolder;
    missingFolder.setInputFolder(makeExampleTree());
    QVERIFY_THROWS_EXCEPTION(RunError,
                             missingFolder.HtmlMake(m_dir->filePath(u"no/such/page.html"_qs), tpl));
}

namespace {

QByteArray page(const QString &block)
{
    return Cp932::fromUnicode(u"<html>\r\n<!--\r\n"_qs + block + u"-->\r\n\r\n"_qs);
}

const QString GoodLink = u"FileName=L\r\nParentID=1\r\nFileLine=1\r\n[InternetShortcut]\r\n"_qs;

} // namespace

void TestConvert::restoreFailures_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("message");
    QTest::newRow("no block") << QByteArray("<html></html>\r\n") << u"復元情報が見つかりません"_qs;
    QTest::newRow("[encode] last line")
        << QByteArray("x\r\n[encode]") << u"復元情報が見つかりません"_qs;
    QTest::newRow("no Folder= line")
        << page(u"[encode]\r\nFolders\r\n"_qs) << u"フォルダ情報が見つかりません"_qs;
    QTest::newRow("Folder=0 stops at the top record")
        << page(u"[encode]\r\nFolder=0\r\nID=0\r\nTitle=t\r\nParentID=0\r\nLink=0\r\n"_qs)
        << u"リンク情報が見つかりません"_qs;
    QTest::newRow("bad Title line")
        << page(u"[encode]\r\nFolder=1\r\nID=1\r\nName=t\r\nParentID=0\r\nLink=0\r\n"_qs)
        << u"フォルダの復元に失敗しました"_qs;
    QTest::newRow("bad link line")
        << page(u"[encode]\r\nFolder=1\r\nID=1\r\nTitle=t\r\nParentID=0\r\nLink=1\r\n"_qs
                u"File=L\r\nParentID=1\r\nFileLine=0\r\n"_qs)
        << u"リンクの復元に失敗しました"_qs;
}

void TestConvert::restoreFailures()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, message);
    const QString file = m_dir->filePath(u"p.html"_qs);
    writeBytes(file, page);
    MakeHtmlProcess run;
    QStringList log;
    connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(!run.DecodeStart(file, m_dir->filePath(u"base"_qs)));
    QVERIFY2(log.contains(message), qPrintable(log.join(u'|')));
    QCOMPARE(log.mid(log.size() - 3),
             (QStringList{u"----------------------------"_qs, u"  復元に失敗しました。"_qs,
                          u"----------------------------"_qs}));
    if (message == u"復元情報が見つかりません"_qs)
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"base"_qs)));
}

void TestConvert::restoreRejectsHostileRecords_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("message");
    const QString folderFail = u"フォルダの復元に失敗しました"_qs;
    const QString linkFail = u"リンクの復元に失敗しました"_qs;
    auto folder = [](const QString &id, const QString &title, const QString &pid) {
        return u"ID="_qs + id + u"\r\nTitle="_qs + title + u"\r\nParentID="_qs + pid + u"\r\n"_qs;
    };
    const QString head1 = u"[encode]\r\nFolder=1\r\n"_qs;
    for (const QString &t :
         {u".."_qs, u"."_qs, QString(), u"a/b"_qs, u"..\\x"_qs, u"a\tb"_qs, QString(300, u'x')})
        QTest::newRow(qPrintable(u"folder title "_qs + t.left(8)))
            << head1 + folder(u"1"_qs, t, u"0"_qs) << folderFail;
    QTest::newRow("id 0 overwrites the base")
        << head1 + folder(u"0"_qs, u"t"_qs, u"0"_qs) << folderFail;
    QTest::newRow("id above N") << head1 + folder(u"2"_qs, u"t"_qs, u"0"_qs) << folderFail;
    QTest::newRow("parent above N") << head1 + folder(u"1"_qs, u"t"_qs, u"5"_qs) << folderFail;
    QTest::newRow("negative count") << u"[encode]\r\nFolder=-1\r\nLink=0\r\n"_qs << folderFail;
    QTest::newRow("huge count") << u"[encode]\r\nFolder=4000000000000\r\n"_qs +
                                       folder(u"1"_qs, u"t"_qs, u"0"_qs)
                                << folderFail;
    QTest::newRow("parent not read yet")
        << u"[encode]\r\nFolder=2\r\n"_qs + folder(u"1"_qs, u"a"_qs, u"2"_qs) +
               folder(u"2"_qs, u"b"_qs, u"0"_qs)
        << folderFail;
    QTest::newRow("repeated id") << u"[encode]\r\nFolder=2\r\n"_qs +
                                        folder(u"1"_qs, u"a"_qs, u"0"_qs) +
                                        folder(u"1"_qs, u"b"_qs, u"0"_qs)
                                 << folderFail;
    QTest::newRow("page ends inside folders")
        << u"[encode]\r\nFolder=1\r\nID=1\r\nTitle=t\r\n"_qs << folderFail;
    const QString okFolders = head1 + folder(u"1"_qs, u"t"_qs, u"0"_qs);
    QTest::newRow("link name escapes")
        << okFolders + u"Link=1\r\nFileName=../../evil\r\nParentID=1\r\nFileLine=0\r\n"_qs
        << linkFail;
    QTest::newRow("link name with entity slash")
        << okFolders + u"Link=1\r\nFileName=a/b\r\nParentID=1\r\nFileLine=0\r\n"_qs << linkFail;
    QTest::newRow("link parent above N")
        << okFolders + u"Link=1\r\nFileName=x\r\nParentID=9\r\nFileLine=0\r\n"_qs << linkFail;
    QTest::newRow("link line count too large")
        << okFolders + u"Link=1\r\nFileName=x\r\nParentID=1\r\nFileLine=99\r\nA\r\n"_qs << linkFail;
    QTest::newRow("link count too large")
        << okFolders + u"Link=100000000\r\n"_qs + GoodLink << linkFail;
}

void TestConvert::restoreRejectsHostileRecords()
{
    QFETCH(QString, block);
    QFETCH(QString, message);
    const QString file = m_dir->filePath(u"p.html"_qs);
    writeBytes(file, page(block));
    const QString base = m_dir->filePath(u"area/base"_qs);
    FavoritesRestore restore;
    QStringList log;
    connect(&restore, &FavoritesRestore::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(!restore.DecodeFile(file, base));
    QCOMPARE(log.last(), message);
    // Nothing outside the base folder.
    const auto outside = snapshot(m_dir->filePath(u"area"_qs), true);
    for (auto it = outside.cbegin(); it != outside.cend(); ++it)
        QVERIFY2(it.key().startsWith(u"base/"_qs), qPrintable(it.key()));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"evil.url"_qs)));
}

void TestConvert::restoreReadsAnyLineEnds()
{
    const QString block =
        u"[encode]\nFolder=1\nID=1\nTitle=T\nParentID=0\nLink=1\nFileName=A&amp;B\nParentID=1\n"_qs
        u"FileLine=2\n[InternetShortcut]\nURL=http://x/\n-->\n"_qs;
    const QString file = m_dir->filePath(u"lf.html"_qs);
    writeBytes(file, Cp932::fromUnicode(block));
    FavoritesRestore restore;
    QVERIFY(restore.DecodeFile(file, m_dir->filePath(u"base"_qs)));
    QCOMPARE(readBytes(m_dir->filePath(u"base/T/A&B.url"_qs)),
             QByteArray("[InternetShortcut]\r\nURL=http://x/\r\n"));
}

void TestConvert::roundTripRestoresSameFiles()
{
    const QString top = makeExampleTree();
    writeBytes(top + u"/S/日本語&.url"_qs,
               Cp932::fromUnicode(u"[InternetShortcut]\r\nURL=http://jp/\r\nIconIndex=1\r\n"_qs));
    writeBytes(top + u"/S/T/lf.url"_qs, "[InternetShortcut]\nURL=http://lf/");
    writeBytes(top + u"/S/T/a < b.url"_qs, "[InternetShortcut]\r\nURL=http://x/?a=1&b=2\r\n");
    const QByteArray pageBytes = convert(top, true);
    const QString pageFile = m_dir->filePath(u"page.html"_qs);
    writeBytes(pageFile, pageBytes);

    MakeHtmlProcess run;
    QStringList log;
    connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
    const QString base = m_dir->filePath(u"restored"_qs);
    QVERIFY(run.DecodeStart(pageFile, base));
    QCOMPARE(log.at(log.size() - 2), u"  お気に入りを復元しました"_qs);

    auto original = snapshot(top);
    original.remove(u"readme.txt"_qs);
    QMap<QString, QByteArray> expected;
    for (auto it = original.cbegin(); it != original.cend(); ++it)
        expected.insert(u"Fav/"_qs + it.key(), it.value());
    QCOMPARE(snapshot(base), expected);
    QVERIFY(!QFileInfo::exists(base + u"/Fav/E"_qs)); // empty branches are not in the block
}

void TestConvert::truncatedBlockKeepsWhatWasRestored()
{
    const QString top = makeExampleTree();
    const QStringList lines = QString::fromLatin1(convert(top, true)).split(u"\r\n"_qs);
    const qsizetype encode = lines.indexOf(u"[encode]"_qs);
    const qsizetype end = lines.indexOf(u"-->"_qs, encode);
    const qsizetype exact = lines.indexOf(u"[exact]"_qs, encode);
    for (qsizetype cut = encode + 1; cut < end; ++cut) {
        if (cut == exact)
            continue; // the block as the Windows program writes it: whole
        const QString file = m_dir->filePath(QStringLiteral("cut%1.html").arg(cut));
        writeBytes(file, lines.mid(0, cut).join(u"\r\n"_qs).toLatin1() + "\r\n");
        const QString base = m_dir->filePath(QStringLiteral("cut%1").arg(cut));
        FavoritesRestore restore;
        QStringList log;
        connect(&restore, &FavoritesRestore::logLine, this, [&](const QString &l) { log << l; });
        QVERIFY2(!restore.DecodeFile(file, base), qPrintable(QString::number(cut)));
        const QStringList restored = log.filter(u"リンク復元["_qs);
        for (const QString &l : restored) {
            const QString name = l.mid(6).chopped(1);
            QVERIFY(QFileInfo::exists(base + u"/Fav/"_qs + name + u".url"_qs) ||
                    QFileInfo::exists(base + u"/Fav/S/"_qs + name + u".url"_qs));
        }
    }
}

// Bookmark files in ---------------------------------------------------------------------------

namespace {

QString bookmarkFile(const QString &name)
{
    return QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/") + name;
}

// The shipped definition whose page is a bookmark file.
QString netscapeDefinition()
{
    return QStringLiteral(VELLUMDEX_SOURCE_DIR) + u"/Config/Netscape/ブックマーク.html"_qs;
}

// The tree below a folder: "folder/" → modification time, "link.url" → address and time.
// A shortcut that is not the two lines the import writes (and its bookmark's section) shows
// as such; the icons and the folders' own files are left out.
QMap<QString, QString> importedTree(const QString &root)
{
    QMap<QString, QString> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = QDir(root).relativeFilePath(p);
        const QString time = QString::number(it.fileInfo().lastModified().toSecsSinceEpoch());
        if (rel == u".icons"_qs || rel.startsWith(u".icons/"_qs) ||
            it.fileName() == u".folder.ini"_qs)
            continue;
        if (it.fileInfo().isDir()) {
            tree.insert(rel + u'/', time);
            continue;
        }
        QString text = Cp932::toUnicode(readBytes(p));
        const QString head = u"[InternetShortcut]\r\nURL="_qs;
        const qsizetype section = text.indexOf(u"\r\n[Bookmark]\r\n"_qs);
        if (section > 0)
            text.truncate(section + 2);
        if (!text.startsWith(head) || !text.endsWith(u"\r\n"_qs) || text.count(u"\r\n"_qs) != 2)
            tree.insert(rel, u"<not a shortcut> "_qs + text);
        else
            tree.insert(rel, text.mid(head.size()).chopped(2) + u' ' + time);
    }
    return tree;
}

// Expected entries "path|address date" ("path/|date" for a folder); "*" for a date that is
// the time of the import.
void compareTree(const QMap<QString, QString> &actual, const QStringList &expected)
{
    QMap<QString, QString> want;
    for (const QString &e : expected)
        want.insert(e.section(u'|', 0, 0), e.section(u'|', 1));
    QCOMPARE(actual.keys(), want.keys());
    for (auto it = want.cbegin(); it != want.cend(); ++it) {
        QString got = actual.value(it.key());
        if (it.value().endsWith(u'*'))
            got = got.left(got.lastIndexOf(u' ') + 1) + u'*';
        if (it.value() == u"*"_qs)
            got = u"*"_qs;
        QCOMPARE(got, it.value());
    }
}

QStringList readItems(const QByteArray &bytes, QString *charset = nullptr)
{
    BookmarkFile file;
    file.setData(bytes);
    QStringList items;
    for (int guard = 0; guard < 1000; ++guard) {
        const BookmarkFile::Item item = file.next();
        const QString date = item.addDate ? u" @"_qs + QString::number(item.addDate) : QString();
        switch (item.kind) {
        case BookmarkFile::Item::FolderStart:
            items << u"+"_qs + item.title + date;
            break;
        case BookmarkFile::Item::FolderEnd:
            items << u"-"_qs;
            break;
        case BookmarkFile::Item::Link:
            items << item.title + u" = "_qs + item.url + date;
            break;
        case BookmarkFile::Item::Malformed:
            items << u"malformed"_qs;
            [[fallthrough]];
        case BookmarkFile::Item::End:
            if (charset)
                *charset = file.charset();
            return items;
        }
    }
    items << u"endless"_qs;
    return items;
}

bool importInto(const QString &file, const QString &base, QStringList *log = nullptr)
{
    BookmarkImport import;
    QStringList lines;
    QObject::connect(&import, &BookmarkImport::logLine, [&lines](const QString &l) { lines << l; });
    const bool ok = import.ImportFile(file, base);
    if (log)
        *log = lines;
    return ok;
}

} // namespace

void TestConvert::bookmarkFixturesImportFolderByFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Chrome, line by line with </DL><p>")
        << u"chrome.html"_qs
        << QStringList{
               u"ブックマーク バー/|1600000000"_qs,
               u"ブックマーク バー/Example & Co.url|https://www.example.com/ 1600000100"_qs,
               u"ブックマーク バー/開発/|1600000200"_qs,
               u"ブックマーク バー/開発/Qt 6 ＜docs＞.url|https://doc.qt.io/qt-6/ 1600000300"_qs,
               u"ブックマーク バー/開発/ブックマークレット.url|javascript:alert(\"hi\") 1600000400"_qs,
               u"ブックマーク バー/空/|1600000500"_qs,
               u"ブックマーク バー/日本語 😀.url|https://ja.wikipedia.org/wiki/日本語?q=%F0%9F%98%80 1600000600"_qs,
               u"その他のブックマーク/|1600000700"_qs,
               u"その他のブックマーク/ニュース： 今日／明日.url|https://news.example.org/?a=1&b=2 1600000800"_qs};
    QTest::newRow("Firefox, with ICON, SHORTCUTURL, FEEDURL, DD and HR; toolbar named by its role")
        << u"firefox.html"_qs
        << QStringList{
               u"Get Help.url|https://support.example.org/help 1500000000"_qs,
               u"Mozilla Firefox/|1500000100"_qs,
               u"Mozilla Firefox/Customize Firefox.url|https://www.example.org/customize/ 1500000200"_qs,
               u"Mozilla Firefox/検索 – キーワード.url|https://search.example.org/?q=%s 1500000300"_qs,
               u"ブックマークツールバー/|1500000400"_qs,
               u"ブックマークツールバー/Blog ＂Live＂.url|https://blog.example.net/ 1500000500"_qs,
               u"ブックマークツールバー/Most Visited.url|place:sort=8&maxResults=10 1500000600"_qs,
               u"他のブックマーク/|1500000700"_qs};
    QTest::newRow("Safari, no list around the top folders")
        << u"safari.html"_qs
        << QStringList{u"Favorites/|*"_qs,
                       u"Favorites/Apple.url|https://www.apple.example/ *"_qs,
                       u"Favorites/旅行/|*"_qs,
                       u"Favorites/旅行/東京駅.url|https://maps.example/?ll=35.68,139.76 *"_qs,
                       u"Reading List/|*"_qs,
                       u"Reading List/記事.url|https://news.example/a *"_qs};
    QTest::newRow("one line, lower case, closing tags left out")
        << u"oneline.html"_qs
        << QStringList{u"Folder A/|1400000000"_qs,
                       u"Folder A/Link A.url|http://a.example/ 1400000100"_qs,
                       u"Folder A/Link B.url|http://b.example/?x=1&y=2 *"_qs,
                       u"Folder A/Empty/|*"_qs,
                       u"Folder A/Inner/|*"_qs,
                       u"Folder A/Inner/C.url|http://c.example/ *"_qs,
                       u"Files.url|ftp://files.example/ *"_qs};
    QTest::newRow("Shift_JIS")
        << u"sjis.html"_qs
        << QStringList{u"リンク/|1300000000"_qs,
                       u"リンク/丸数字①と表.url|http://www.example.jp/～user/ 1300000100"_qs,
                       u"リンク/ソフト ダウンロード.url|http://www.example.jp/ソフト 1300000200"_qs,
                       u"会社案内.url|http://www.example.co.jp/ 1300000300"_qs};
}

void TestConvert::bookmarkFixturesImportFolderByFolder()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    const QString base = m_dir->filePath(u"base"_qs);
    QStringList log;
    QVERIFY(importInto(bookmarkFile(file), base, &log));
    compareTree(importedTree(base), expected);
    // Each folder and link is logged as the restore logs it.
    QCOMPARE(log.first(), u"ブックマークファイルを読み込んでいます"_qs);
    QCOMPARE(log.filter(u"フォルダ復元["_qs).size() + log.filter(u"リンク復元["_qs).size(),
             expected.size());
    const QString folder = expected.filter(u"/|"_qs).first();
    QVERIFY(
        log.contains(u"フォルダ復元["_qs + base + u"/"_qs + folder.section(u'|', 0, 0) + u"]"_qs));
}

void TestConvert::bookmarkTextsAndCharsets_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("entities decoded once")
        << QByteArray("<DL><DT><A HREF=\"http://x/?a=1&amp;b=2&#38;c\">&lt;b&gt; &#38;&#x26; "
                      "&#X3042;&#12354 &hellip; &bogus; &amp;lt;</A></DL>")
        << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"<b> && ああ … &bogus; &lt; = http://x/?a=1&b=2&c"_qs,
                       u"-"_qs};
    QTest::newRow("numbers that name no character")
        << QByteArray("<DL><DT><A HREF=u>&#0;&#xD800;&#1114112;</A>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"\uFFFD\uFFFD\uFFFD = u"_qs, u"-"_qs};
    QTest::newRow("blanks and line breaks in a title collapse")
        << QByteArray("<DL><DT><A HREF=\"u\">  two\r\n   lines\there </A>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"two lines here = u"_qs, u"-"_qs};
    QTest::newRow("any letter case, quotes of either kind or none")
        << QByteArray("<Title>T</tItLe><dL><Dt><h3 Add_Date='5'>F</H3><dl><dT><a hReF=x "
                      "aDD_DaTe=\"7\">L</A></DL></dl>")
        << u"UTF-8"_qs << QStringList{u"+T"_qs, u"+F @5"_qs, u"L = x @7"_qs, u"-"_qs, u"-"_qs};
    QTest::newRow("H1 names the top folder before TITLE")
        << QByteArray("<TITLE>Title</TITLE><H1>Heading</H1><DL></DL>") << u"UTF-8"_qs
        << QStringList{u"+Heading"_qs, u"-"_qs};
    QTest::newRow("FEEDURL alone is no bookmark; DD, HR and comments pass")
        << QByteArray("<DL><DT><H3>F</H3><DD>about <b>it</b><DL><HR><!-- <A HREF=c>no</A> -->"
                      "<DT><A FEEDURL=\"f\">F</A><DT><A FEEDURL=f HREF=h>H</A></DL>")
        << u"UTF-8"_qs << QStringList{u"+ブックマーク"_qs, u"+F"_qs, u"H = h"_qs, u"-"_qs, u"-"_qs};
    QTest::newRow("a folder without a list is empty")
        << QByteArray("<DL><DT><H3>A</H3><DT><H3>B</H3></DL>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"+A"_qs, u"-"_qs, u"+B"_qs, u"-"_qs, u"-"_qs};
    QTest::newRow("dates in milliseconds and microseconds are seconds")
        << QByteArray("<DL><DT><A HREF=a ADD_DATE=1600000000000>ms</A>"
                      "<DT><A HREF=b ADD_DATE=1600000000000000>us</A>")
        << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"ms = a @1600000000"_qs, u"us = b @1600000000"_qs,
                       u"-"_qs};
    QTest::newRow("windows-31j") << QByteArray("<META CONTENT=\"text/html; charset=windows-31j\">"
                                               "<DL><DT><A HREF=u>\x87\x40\x81\x60</A>")
                                 << u"windows-31j"_qs
                                 << QStringList{u"+ブックマーク"_qs, u"①～ = u"_qs, u"-"_qs};
    QTest::newRow("the first charset that names one")
        << QByteArray("<!-- charset below --><META CONTENT=\"text/html; charset=Shift_JIS\">"
                      "<DL><DT><A HREF=u>\x93\xfa</A>")
        << u"Shift_JIS"_qs << QStringList{u"+ブックマーク"_qs, u"日 = u"_qs, u"-"_qs};
    QTest::newRow("x-sjis, meta charset form")
        << QByteArray("<meta charset='x-sjis'><DL><DT><A HREF=u>\x93\xfa\x96\x7b</A>")
        << u"x-sjis"_qs << QStringList{u"+ブックマーク"_qs, u"日本 = u"_qs, u"-"_qs};
    QTest::newRow("no META and not UTF-8: code page 932")
        << QByteArray("<DL><DT><A HREF=u>\x93\xfa\x96\x7b</A>") << u"windows-31j"_qs
        << QStringList{u"+ブックマーク"_qs, u"日本 = u"_qs, u"-"_qs};
    QTest::newRow("BOM before a META that says otherwise")
        << QByteArray("\xef\xbb\xbf<meta charset=Shift_JIS><DL><DT><A HREF=u>\xe6\x97\xa5</A>")
        << u"UTF-8"_qs << QStringList{u"+ブックマーク"_qs, u"日 = u"_qs, u"-"_qs};
    QTest::newRow("unknown charset read as UTF-8")
        << QByteArray("<meta charset=x-none-such><DL><DT><A HREF=u>\xe6\x97\xa5</A>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"日 = u"_qs, u"-"_qs};
    QTest::newRow("ends inside a tag")
        << QByteArray("<DL><DT><A HREF=a>A</A><DT><A HREF=\"b>B</A>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"A = a"_qs, u"malformed"_qs};
    QTest::newRow("a declared bookmark file needs no list around its top")
        << QByteArray("<!DOCTYPE netscape-Bookmark-file-1><DT><A HREF=a>A</A>") << u"UTF-8"_qs
        << QStringList{u"+ブックマーク"_qs, u"A = a"_qs, u"-"_qs};
    QTest::newRow("links before the first list are a page's, after the last the file's")
        << QByteArray("<A HREF=n>nav</A><DL><DT><A HREF=y>Y</A></DL></DL><DT><A HREF=z>Z</A>")
        << u"UTF-8"_qs << QStringList{u"+ブックマーク"_qs, u"Y = y"_qs, u"Z = z"_qs, u"-"_qs};
    QTest::newRow("no bookmarks at all")
        << QByteArray("<html><p>hello</p></html>") << u"UTF-8"_qs << QStringList{};
}

void TestConvert::bookmarkTextsAndCharsets()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QStringList, items);
    QString found;
    QCOMPARE(readItems(bytes, &found), items);
    QCOMPARE(found, charset);
}

void TestConvert::bookmarkAddressesFitTheCodePage_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << u"http://a/b?c=d&e=%20"_qs << u"http://a/b?c=d&e=%20"_qs;
    QTest::newRow("ends trimmed, breaks dropped") << u" http://a/\r\nb\tc "_qs << u"http://a/bc"_qs;
    QTest::newRow("Japanese kept") << u"http://例え.jp/日本語"_qs << u"http://例え.jp/日本語"_qs;
    QTest::newRow("emoji as UTF-8") << u"http://x/😀"_qs << u"http://x/%F0%9F%98%80"_qs;
    QTest::newRow("accented letter") << u"http://x/café"_qs << u"http://x/caf%C3%A9"_qs;
    QTest::newRow("wave dash the code page would change")
        << u"http://x/\u301c"_qs << u"http://x/%E3%80%9C"_qs;
    QTest::newRow("control character") << u"javascript:a\u0001b"_qs << u"javascript:a%01b"_qs;
}

void TestConvert::bookmarkAddressesFitTheCodePage()
{
    QFETCH(QString, url);
    QFETCH(QString, written);
    QCOMPARE(BookmarkImport::shortcutAddress(url), written);
    QVERIFY(Cp932::canHold(written));
    QCOMPARE(BookmarkImport::shortcutBytes(url),
             "[InternetShortcut]\r\nURL=" + Cp932::fromUnicode(written) + "\r\n");
}

void TestConvert::bookmarkNamesAreSafe_data()
{
    QTest::addColumn<QString>("title"); // as the file writes it
    QTest::addColumn<QString>("name");
    QTest::newRow("path separators") << u"a/b\\c"_qs << u"a／b＼c.url"_qs;
    QTest::newRow("characters Windows forbids")
        << u":*?&quot;&lt;&gt;|"_qs << u"：＊？＂＜＞｜.url"_qs;
    QTest::newRow("dot dot") << u".."_qs << u"無題.url"_qs;
    QTest::newRow("dot dot slash") << u"../../evil"_qs << u"..／..／evil.url"_qs;
    QTest::newRow("trailing dots and blanks") << u"name. . ."_qs << u"name.url"_qs;
    QTest::newRow("control characters") << u"a&#1;b&#127;c"_qs << u"a b c.url"_qs;
    QTest::newRow("empty") << QString() << u"無題.url"_qs;
    QTest::newRow("reserved") << u"CON"_qs << u"CON_.url"_qs;
    QTest::newRow("reserved with an extension") << u"nul.txt"_qs << u"nul_.txt.url"_qs;
    QTest::newRow("reserved before a blank") << u"LPT9 .x"_qs << u"LPT9_ .x.url"_qs;
    QTest::newRow("not reserved") << u"COM10"_qs << u"COM10.url"_qs;
    QTest::newRow("long ASCII cut to 255 bytes")
        << QString(300, u'x') << QString(251, u'x') + u".url"_qs;
    QTest::newRow("long Japanese cut at a character")
        << QString(100, u'あ') << QString(83, u'あ') + u".url"_qs;
    QString emoji;
    for (int i = 0; i < 70; ++i)
        emoji += u"😀"_qs;
    QTest::newRow("long emoji never split") << emoji << emoji.left(124) + u".url"_qs;
}

void TestConvert::bookmarkNamesAreSafe()
{
    QFETCH(QString, title);
    QFETCH(QString, name);
    const QString file = m_dir->filePath(u"b.html"_qs);
    writeBytes(file, (u"<DL><DT><A HREF=\"http://x/\">"_qs + title + u"</A></DL>"_qs).toUtf8());
    const QString base = m_dir->filePath(u"area/base"_qs);
    QVERIFY(importInto(file, base));
    QCOMPARE(QDir(base).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    QVERIFY(QFile::encodeName(name).size() <= 255);
    QCOMPARE(QDir(m_dir->filePath(u"area"_qs)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"base"_qs});
}

void TestConvert::bookmarkDuplicatesGetNumbers()
{
    const QString file = m_dir->filePath(u"b.html"_qs);
    writeBytes(file, "<H1>Top</H1><DL>"
                     "<DT><A HREF=1>Same</A><DT><A HREF=2>same</A><DT><A HREF=3>Same</A>"
                     "<DT><A HREF=4>Same (2)</A>"
                     "<DT><H3>x.url</H3><DL></DL><DT><A HREF=5>x</A>"
                     "<DT><H3>F</H3><DL><DT><A HREF=6>a</A></DL>"
                     "<DT><H3>F</H3><DL><DT><A HREF=7>a</A></DL>"
                     "<DT><H3>f</H3><DL><DT><H3>.folder.ini</H3><DL><DT><A HREF=8>b</A></DL>"
                     "</DL></DL>");
    const QString base = m_dir->filePath(u"base"_qs);
    writeShortcut(base + u"/F/a.url"_qs, u"http://old/"_qs);
    QVERIFY(importInto(file, base));
    const QStringList expected{u"Same.url|1 *"_qs,
                               u"same (2).url|2 *"_qs,
                               u"Same (3).url|3 *"_qs,
                               u"Same (2) (2).url|4 *"_qs,
                               u"x.url/|*"_qs,
                               u"x (2).url|5 *"_qs,
                               u"F/|*"_qs,
                               u"F/a.url|6 *"_qs, // the old shortcut of that name replaced
                               u"F (2)/|*"_qs,
                               u"F (2)/a.url|7 *"_qs,
                               u"f (3)/|*"_qs,
                               u"f (3)/.folder.ini (2)/|*"_qs, // not the folder's own file
                               u"f (3)/.folder.ini (2)/b.url|8 *"_qs};
    compareTree(importedTree(base), expected);
    // A second import replaces what the first made instead of numbering it again.
    QVERIFY(importInto(file, base));
    compareTree(importedTree(base), expected);
}

void TestConvert::bookmarkImportStaysInsideBase()
{
    const QString outside = m_dir->filePath(u"outside"_qs);
    writeBytes(outside + u"/target.txt"_qs, "keep");
    const QString base = m_dir->filePath(u"base"_qs);
    QDir().mkpath(base);
    // An existing shortcut that is a link to a file elsewhere is replaced, not written through.
    QVERIFY(QFile::link(outside + u"/target.txt"_qs, base + u"/evil.url"_qs));
    const QString file = m_dir->filePath(u"b.html"_qs);
    writeBytes(file, "<H1>Top</H1><DL><DT><A HREF=http://x/>evil</A>"
                     "<DT><H3>out</H3><DL><DT><A HREF=http://y/>y</A></DL></DL>");
    // A folder of a bookmark folder's name that leads outside the base folder stops the import.
    QVERIFY(QFile::link(outside, base + u"/out"_qs));
    QStringList log;
    QVERIFY(!importInto(file, base, &log));
    QCOMPARE(log.last(), u"フォルダを作成できません ["_qs + base +
                             u"/out/] シンボリックリンクをたどれません"_qs);
    QCOMPARE(snapshot(outside), (QMap<QString, QByteArray>{{u"target.txt"_qs, "keep"}}));
    QVERIFY(!QFileInfo(base + u"/evil.url"_qs).isSymLink());
    QCOMPARE(
        readBytes(base + u"/evil.url"_qs),
        QByteArray(
            "[InternetShortcut]\r\nURL=http://x/\r\n[Bookmark]\r\nName=evil\r\nTitle=evil\r\n"));
}

void TestConvert::importNeverWritesThroughASwappedLink_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("deep");
    // Deeper than the folders held open: the ones above are opened again on the way up.
    QTest::newRow("top folder swapped while the import is deep") << 300 << true;
    QTest::newRow("top folder raced as it is made") << 3 << false;
}

void TestConvert::importNeverWritesThroughASwappedLink()
{
    QFETCH(int, depth);
    QFETCH(bool, deep);
    QByteArray bytes = "<H1>Top</H1><DL>";
    // Each folder's link after its subfolder: written on the way back up.
    for (int i = 0; i < depth; ++i)
        bytes += "<DT><H3>f</H3><DL>";
    for (int i = 0; i <= depth; ++i)
        bytes += "<DT><A HREF=\"http://x/" + QByteArray::number(i) + "\">L</A></DL>";
    // Memory, where there is some: a hundred trees cost little there.
    QTemporaryDir memory(QFileInfo(u"/dev/shm"_qs).isWritable() ? u"/dev/shm/swap-XXXXXX"_qs
                                                                : m_dir->filePath(u"swap"_qs));
    const QString file = memory.filePath(u"deep.html"_qs);
    writeBytes(file, bytes);
    // Outside, folders of the same names wait for what a path would reach.
    const QString outside = memory.filePath(u"outside"_qs);
    QVERIFY(QDir().mkpath(outside + QString(u"/f"_qs).repeated(depth)));
    const QByteArray out = QFile::encodeName(outside);
    const auto filesOutside = [&outside] {
        QDirIterator it(outside, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        return it.hasNext();
    };
    for (int round = 0; round < 100; ++round) {
        const QString base = memory.filePath(u"base"_qs + QString::number(round));
        QVERIFY(QDir().mkpath(base));
        const QByteArray top = QFile::encodeName(base + u"/Top"_qs);
        const QByteArray moved = QFile::encodeName(base + u"/moved"_qs);
        const auto swapForLink = [&] { return ::symlink(out.constData(), top.constData()) == 0; };
        std::atomic<bool> done = false;
        std::thread import([&] {
            importInto(file, base);
            done = true;
        });
        if (deep) {
            while (!done && ::access(top.constData(), F_OK) != 0) {
            }
            QThread::usleep(QRandomGenerator::global()->bounded(20000));
            // Either may lose the race with the import: the round goes on all the same.
            if (::rename(top.constData(), moved.constData()) == 0)
                swapForLink();
        } else {
            while (!done) {
                if (::rename(top.constData(), moved.constData()) == 0 ||
                    ::unlink(top.constData()) == 0)
                    swapForLink();
            }
        }
        import.join();
        QVERIFY2(!filesOutside(), qPrintable(u"round "_qs + QString::number(round)));
    }
}

void TestConvert::bookmarkRoundTripThroughNetscapeForm()
{
    const QString top = makeExampleTree();
    writeShortcut(top + u"/S/日本語 & 記号.url"_qs, u"http://jp.example/?q=検索&r=1"_qs);
    writeShortcut(top + u"/S/T/a😀b.url"_qs, u"http://emoji.example/"_qs);
    writeShortcut(top + u"/S/T/U/深い.url"_qs, u"javascript:void(0)"_qs);
    PlainTemplate tpl(netscapeDefinition());
    MakeHtmlProcess run;
    run.setInputFolder(top);
    const QString pageFile = m_dir->filePath(u"bookmarks.html"_qs);
    run.HtmlMake(pageFile, tpl);

    const QString base = m_dir->filePath(u"imported"_qs);
    QVERIFY(importInto(pageFile, base));
    // The page's top is the base folder itself: no folder for its H1.
    QMap<QString, QString> imported;
    const auto tree = importedTree(base);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        imported.insert(it.key(),
                        it.key().endsWith(u'/') ? QString() : it.value().section(u' ', 0, -2));
    // The same folders (those with shortcuts), titles as the code page holds them.
    const QMap<QString, QString> expected{
        {u"A.url"_qs, u"http://a.example/"_qs},
        {u"B.url"_qs, u"http://b.example/?x=1&y=2"_qs},
        {u"S/"_qs, QString()},
        {u"S/C.url"_qs, u"http://c.example/"_qs},
        // The same address, as every page writes it: percent-encoded UTF-8.
        {u"S/日本語 & 記号.url"_qs, u"http://jp.example/?q=%E6%A4%9C%E7%B4%A2&r=1"_qs},
        {u"S/T/"_qs, QString()},
        {u"S/T/a😀b.url"_qs, u"http://emoji.example/"_qs},
        {u"S/T/U/"_qs, QString()},
        {u"S/T/U/深い.url"_qs, u"javascript:void(0)"_qs}};
    QCOMPARE(imported, expected);
    // The definition writes each date, and the import gives it back.
    const auto seconds = [](const QString &p) {
        return QFileInfo(p).lastModified().toSecsSinceEpoch();
    };
    QCOMPARE(seconds(base + u"/S/C.url"_qs), seconds(top + u"/S/C.url"_qs));
}

void TestConvert::exportTreePageImportIsAFixedPoint_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("dated");
    QTest::newRow("Chromium") << u"chromium.html"_qs << true;
    QTest::newRow("Firefox") << u"firefox.html"_qs << true;
    QTest::newRow("Internet Explorer") << u"ie.html"_qs << true;
    QTest::newRow("Safari, no dates") << u"safari.html"_qs << false;
}

// A tree the import made, written as the bookmark-file page and imported again, is the same
// tree: names, bytes (the bookmarks' sections and the icons included) and dates.
void TestConvert::exportTreePageImportIsAFixedPoint()
{
    QFETCH(QString, file);
    QFETCH(bool, dated);
    const QString first = m_dir->filePath(u"first"_qs);
    QVERIFY(importInto(QStringLiteral(VELLUMDEX_TEST_DATA "/exports/") + file, first));
    PlainTemplate tpl(netscapeDefinition());
    MakeHtmlProcess run;
    run.setInputFolder(first);
    // By date, the order the bookmarks were made in: equal titles are numbered again in it.
    run.setSort(true);
    run.setSortOrder(SortItems::ByDate);
    const QString page = m_dir->filePath(u"page.html"_qs);
    run.HtmlMake(page, tpl);
    const QString second = m_dir->filePath(u"second"_qs);
    QVERIFY(importInto(page, second));
    const QMap<QString, QByteArray> tree = snapshot(first, true);
    // Without dates, equal titles may be numbered in another order: each keeps its bytes.
    const auto unnumbered = [dated](const QMap<QString, QByteArray> &files) {
        QStringList out;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            out << (dated ? it.key()
                          : QString(it.key()).remove(QRegularExpression(u" \\(\\d+\\)"_qs))) +
                       u'|' +
                       Cp932::toUnicode(it.value())
                           .remove(QRegularExpression(dated ? u"^$"_qs : u"Name=[^\r]*"_qs));
        out.sort();
        return out;
    };
    QCOMPARE(unnumbered(snapshot(second, true)), unnumbered(tree));
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        // Undated bookmarks and folders take the moment of their import.
        const qint64 date = QFileInfo(first + u'/' + it.key()).lastModified().toSecsSinceEpoch();
        if (it.key().startsWith(u".icons"_qs) || date > 1700000000)
            continue;
        QCOMPARE(QFileInfo(second + u'/' + it.key()).lastModified().toSecsSinceEpoch(), date);
    }
}

void TestConvert::linkTitleComesFromItsBookmarkSection_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("attributes");
    QTest::newRow("a shortcut of the Windows program: its file name")
        << u"a ｜ b.url"_qs << QByteArray() << u"a ｜ b"_qs
        << u" ADD_DATE=\"1600000000\" LAST_MODIFIED=\"1600000000\""_qs;
    QTest::newRow("the bookmark's own title and dates")
        << u"a ｜ b.url"_qs
        << QByteArray("[Bookmark]\r\nName=a \x81\x62 b\r\nTitle=&#0;a | b &#x1F600;\r\n"
                      "AddDate=5\r\nLastModified=6\r\nIconURI=http://i/\r\n")
        << u"a | b &#128512;"_qs
        << u" ADD_DATE=\"5\" LAST_MODIFIED=\"6\" ICON_URI=\"http://i/\""_qs;
    QTest::newRow("no date: none invented")
        << u"x.url"_qs << QByteArray("[Bookmark]\r\nName=x\r\nTitle=x.\r\n") << u"x."_qs
        << QString();
    QTest::newRow("renamed since the import: the new name")
        << u"new.url"_qs << QByteArray("[Bookmark]\r\nName=old\r\nTitle=old title\r\n") << u"new"_qs
        << u" ADD_DATE=\"1600000000\" LAST_MODIFIED=\"1600000000\""_qs;
}

void TestConvert::linkTitleComesFromItsBookmarkSection()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, section);
    QFETCH(QString, title);
    QFETCH(QString, attributes);
    const QString top = m_dir->filePath(u"Fav"_qs);
    writeBytes(top + u'/' + name, "[InternetShortcut]\r\nURL=http://x/\r\n" + section);
    setMtime(top + u'/' + name, 1600000000);
    const QString definition = m_dir->filePath(u"d.html"_qs);
    writeBytes(definition, "<!--d-->\r\n<!--Link=Start-->\r\n**Parameter_0--|**Parameter_3--\r\n"
                           "<!--Link=End-->\r\n\r\n");
    PlainTemplate tpl(definition);
    MakeHtmlProcess run;
    run.setInputFolder(top);
    run.HtmlMake(m_dir->filePath(u"p.html"_qs), tpl);
    QCOMPARE(Cp932::toUnicode(readBytes(m_dir->filePath(u"p.html"_qs))),
             u"\r\n"_qs + title + u'|' + attributes + u"\r\n\r\n"_qs);
}

void TestConvert::definitionNamesItsPageEncoding_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QByteArray>("page"); // empty: the run fails
    const QByteArray text = "日本 😀";
    QTest::newRow("none: code page 932")
        << QByteArray() << QByteArray("\x93\xfa\x96\x7b &#128512;");
    QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS")
                               << QByteArray("\x93\xfa\x96\x7b &#128512;");
    QTest::newRow("UTF-8") << QByteArray(" utf-8 ") << text;
    QTest::newRow("unknown") << QByteArray("EUC-JP") << QByteArray();
}

void TestConvert::definitionNamesItsPageEncoding()
{
    QFETCH(QByteArray, block);
    QFETCH(QByteArray, page);
    const QString top = m_dir->filePath(u"Fav"_qs);
    writeShortcut(top + u"/x.url"_qs, u"http://x/"_qs);
    writeBytes(top + u"/.hold"_qs, QByteArray());
    QVERIFY(QFile::rename(top + u"/x.url"_qs, top + u"/日本 😀.url"_qs));
    const QString definition = m_dir->filePath(u"d.html"_qs);
    writeBytes(definition, "<!--d-->\r\n" +
                               (block.isEmpty() ? QByteArray()
                                                : "<!--Encoding=Start-->\r\n" + block +
                                                      "\r\n<!--Encoding=End-->\r\n") +
                               "<!--Link=Start-->\r\n**Parameter_0--\r\n<!--Link=End-->\r\n\r\n");
    PlainTemplate tpl(definition);
    MakeHtmlProcess run;
    run.setInputFolder(top);
    const QString out = m_dir->filePath(u"p.html"_qs);
    if (page.isEmpty()) {
        try {
            run.HtmlMake(out, tpl);
            QFAIL("an unknown encoding was taken");
        } catch (const RunError &e) {
            QCOMPARE(e.message(), u"定義の文字コードが分かりません [EUC-JP]"_qs);
        }
        QVERIFY(!QFileInfo::exists(out));
        return;
    }
    run.HtmlMake(out, tpl);
    QCOMPARE(readBytes(out), "\r\n" + page + "\r\n\r\n");
}

void TestConvert::bookmarkFileIsRecognised_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("bookmarks");
    QTest::newRow("DOCTYPE in any case")
        << QByteArray("\xef\xbb\xbf<!doctype  Netscape-Bookmark-File-1>\r\n") << true;
    QTest::newRow("no DOCTYPE, a list of links") << QByteArray("<DL><p>\n<DT><A HREF=x>") << true;
    QTest::newRow("no DOCTYPE, a list of folders") << QByteArray("<dl><dt><h3>F</h3>") << true;
    QTest::newRow("an ordinary page with a definition list")
        << QByteArray("<!DOCTYPE html><dl><dt>Term<dd><a href=x>see</a></dl>") << false;
    QTest::newRow("a page of this program") << readBytes(dataFile(u"simple-page.html"_qs)) << false;
}

void TestConvert::bookmarkFileIsRecognised()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, bookmarks);
    QCOMPARE(BookmarkFile::looksLikeBookmarkFile(head), bookmarks);
}

// The processing window's test gives the restore a bookmark file; a page of the same form that
// carries the restore block is restored from the block.
void TestConvert::restoreTakesTheBlockBeforeTheBookmarks()
{
    PlainTemplate tpl(netscapeDefinition());
    MakeHtmlProcess convertRun;
    convertRun.setInputFolder(makeExampleTree());
    convertRun.setDecodeFlag(true);
    const QString pageFile = m_dir->filePath(u"with-block.html"_qs);
    convertRun.HtmlMake(pageFile, tpl);
    QVERIFY(BookmarkFile::looksLikeBookmarkFile(readBytes(pageFile)));
    MakeHtmlProcess run;
    QStringList log;
    connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(run.DecodeStart(pageFile, m_dir->filePath(u"restored"_qs)));
    QCOMPARE(log.first(), u"フォルダ情報読み出し"_qs);
    QVERIFY(QFileInfo::exists(m_dir->filePath(u"restored/Fav/S/C.url"_qs)));
}

void TestConvert::malformedBookmarkFileKeepsWhatWasWritten()
{
    const QByteArray full = readBytes(bookmarkFile(u"chrome.html"_qs));
    const QString whole = m_dir->filePath(u"whole"_qs);
    QVERIFY(importInto(bookmarkFile(u"chrome.html"_qs), whole));
    const QMap<QString, QByteArray> complete = snapshot(whole);
    // Cut inside every tag: the file ends in the middle of it.
    for (qsizetype tag = full.indexOf('<'); tag >= 0; tag = full.indexOf('<', tag + 1)) {
        const qsizetype cut = tag + (full.at(tag + 1) == '/' ? 3 : 2);
        const QString file = m_dir->filePath(QStringLiteral("cut%1.html").arg(cut));
        writeBytes(file, full.left(cut));
        const QString base = m_dir->filePath(QStringLiteral("cut%1").arg(cut));
        QStringList log;
        QVERIFY2(!importInto(file, base, &log), qPrintable(QString::number(cut)));
        const int line = int(full.left(tag).count('\n')) + 1;
        QCOMPARE(
            log.last(),
            QStringLiteral("ブックマークファイルの形式が正しくありません (%1 行目)").arg(line));
        QMap<QString, QByteArray> kept = snapshot(base);
        kept.removeIf([](auto it) {
            return it.key().startsWith(u".icons/"_qs) || it.key().endsWith(u".folder.ini"_qs);
        });
        QCOMPARE(kept.size(), log.filter(u"リンク復元["_qs).size());
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(it.value(), complete.value(it.key()));
    }
}

void TestConvert::deepBookmarkNestingIsBounded()
{
    const int depth = 10000;
    for (const bool closed : {true, false}) {
        QByteArray bytes = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
        for (int i = 0; i < depth; ++i)
            bytes += "<DT><H3>深い</H3>\n<DL><p>\n<DT><A HREF=\"http://x/" + QByteArray::number(i) +
                     "\">L" + QByteArray::number(i) + "</A>\n";
        if (closed) {
            for (int i = 0; i <= depth; ++i)
                bytes += "</DL><p>\n";
        }
        const QString file = m_dir->filePath(u"deep.html"_qs);
        writeBytes(file, bytes);
        const QString base = m_dir->filePath(closed ? u"closed"_qs : u"open"_qs);
        QStringList log;
        QVERIFY(importInto(file, base, &log));
        QSet<QString> names;
        qsizetype longest = 0;
        QDirIterator it(base, {u"*.url"_qs}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            names.insert(it.fileName());
            longest = qMax(longest, QFile::encodeName(p).size());
        }
        QCOMPARE(names.size(), depth);
        QVERIFY(names.contains(u"L0.url"_qs) && names.contains(u"L9999.url"_qs));
        QVERIFY(longest <= BookmarkImport::MaxPathBytes);
        QVERIFY(log.contains(u"フォルダが深すぎるため上のフォルダにまとめます [深い]"_qs));
        // Hundreds of levels, more than are held open at once on the way down: every link
        // read back.
        cls_folder tree;
        int idKey = 1;
        QVERIFY(tree.GetData(base, nullptr, true, 1, false, idKey));
        QCOMPARE(tree.LinkCount(), depth);
    }
}

void TestConvert::bigBookmarkFileImportsEveryLink()
{
    // Folders of 100 distinct links, then one folder where every link has the same title:
    // numbering them must not search from " (2)" for each.
    QByteArray bytes = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    const int distinct = 20000;
    const int same = 20000;
    for (int i = 0; i < distinct; ++i) {
        if (i % 100 == 0)
            bytes += (i ? "</DL><p>\n" : "") + QByteArray("<DT><H3>フォルダ ") +
                     QByteArray::number(i / 100) + "</H3>\n<DL><p>\n";
        bytes += "<DT><A HREF=\"https://example.com/" + QByteArray::number(i) +
                 "?q=検索&amp;x=1\" ADD_DATE=\"" + QByteArray::number(1600000000 + i) +
                 "\">リンク " + QByteArray::number(i) + "</A>\n";
    }
    bytes += "</DL><p>\n<DT><H3>同じ</H3>\n<DL><p>\n";
    for (int i = 0; i < same; ++i)
        bytes += "<DT><A HREF=\"https://same.example/" + QByteArray::number(i) + "\">同じ</A>\n";
    bytes += "</DL><p>\n</DL><p>\n";
    const QString file = m_dir->filePath(u"big.html"_qs);
    writeBytes(file, bytes);
    const QString base = m_dir->filePath(u"base"_qs);
    QStringList log;
    QVERIFY(importInto(file, base, &log));
    QCOMPARE(log.last(), u"ブックマークファイルを読み込みました (フォルダ 201、リンク 40000)"_qs);
    qsizetype count = 0;
    QDirIterator it(base, {u"*.url"_qs}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    QCOMPARE(count, qsizetype(distinct + same));
    const QString last = base + u"/フォルダ 199/リンク 19999.url"_qs;
    QCOMPARE(readBytes(last),
             Cp932::fromUnicode(u"[InternetShortcut]\r\nURL=https://example.com/"
                                u"19999?q=検索&x=1\r\n[Bookmark]\r\nName=リンク "
                                u"19999\r\nTitle=リンク 19999\r\nAddDate=1600019999\r\n"_qs));
    QCOMPARE(QFileInfo(last).lastModified().toSecsSinceEpoch(), 1600000000 + distinct - 1);
    QCOMPARE(readBytes(base + u"/同じ/同じ (20000).url"_qs),
             Cp932::fromUnicode(u"[InternetShortcut]\r\nURL=https://same.example/19999\r\n"
                                u"[Bookmark]\r\nName=同じ (20000)\r\nTitle=同じ\r\n"_qs));
}

// A browser's own bookmarks ---------------------------------------------------------------------

namespace {

// The part of an imported tree below one top folder.
QMap<QString, QString> below(const QMap<QString, QString> &tree, const QString &top)
{
    QMap<QString, QString> part;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().startsWith(top))
            part.insert(it.key(), it.value());
    }
    return part;
}

// Bookmarks added to a places.sqlite the way Firefox stores them.
struct PlacesWriter
{
    explicit PlacesWriter(const QString &file)
        : db(QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"places-writer"_qs))
    {
        db.setDatabaseName(file);
        db.open();
    }
    ~PlacesWriter()
    {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"places-writer"_qs);
    }
    qint64 exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            qWarning() << q.lastError().text();
        return q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    }
    qint64 root(const QString &guid)
    {
        return exec(u"SELECT id FROM moz_bookmarks WHERE guid = ?"_qs, {guid});
    }
    // type 1 link, 2 folder, 3 separator; dates in seconds, stored as microseconds.
    qint64 add(int type, qint64 parent, const QVariant &title, qint64 date, const QString &url = {})
    {
        const QVariant place =
            url.isEmpty() ? QVariant()
                          : exec(u"INSERT INTO moz_places (url, title, rev_host, guid) "
                                 "VALUES (?, ?, '', ?)"_qs,
                                 {url, title, u"vdxplace%1"_qs.arg(++serial, 4, 10, QChar(u'0'))});
        return exec(u"INSERT INTO moz_bookmarks (type, fk, parent, position, title, dateAdded, "
                    "lastModified, guid) VALUES (?, ?, ?, (SELECT count(*) FROM moz_bookmarks "
                    "WHERE parent = ?), ?, ?, ?, ?)"_qs,
                    {type, place, parent, parent, title, date * 1000000, date * 1000000,
                     u"vdxmark%1"_qs.arg(++serial, 5, 10, QChar(u'0'))});
    }
    QSqlDatabase db;
    int serial = 0;
};

} // namespace

void TestConvert::firefoxPlacesImportAsFirefoxWroteThem()
{
    const QString firefox = QStandardPaths::findExecutable(u"firefox-esr"_qs);
    if (firefox.isEmpty()) {
        QTest::qSkip("Debian's firefox-esr is not installed: nothing writes a real places.sqlite",
                     __FILE__, __LINE__);
        return;
    }
    const QString profile = m_dir->filePath(u"profile"_qs);
    QDir().mkpath(profile);
    QProcess browser;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_qs, m_dir->path());
    env.insert(u"MOZ_CRASHREPORTER_DISABLE"_qs, u"1"_qs);
    browser.setProcessEnvironment(env);
    browser.setStandardOutputFile(QProcess::nullDevice());
    browser.setStandardErrorFile(QProcess::nullDevice());
    browser.start(firefox, {u"--headless"_qs, u"--profile"_qs, profile, u"--no-remote"_qs,
                            u"about:blank"_qs});
    QVERIFY(browser.waitForStarted(10000));
    auto stop = qScopeGuard([&browser] {
        browser.kill();
        browser.waitForFinished(10000);
    });

    // Read while Firefox runs and holds its database locked, until its default bookmarks are in.
    const QString places = profile + u"/places.sqlite"_qs;
    const QString running = m_dir->filePath(u"running"_qs);
    const QDir defaults(running + u"/ブックマークメニュー/Mozilla Firefox"_qs);
    QDeadlineTimer deadline(120000);
    QStringList tried{u"places.sqlite not made"_qs};
    while (defaults.entryList({u"*.url"_qs}).isEmpty()) {
        QVERIFY2(!deadline.hasExpired(),
                 qPrintable(u"no default bookmarks read within 120 s: "_qs + tried.last()));
        QVERIFY2(browser.state() == QProcess::Running, "firefox-esr ended by itself");
        QTest::qWait(500);
        if (QFileInfo::exists(places))
            importInto(places, running, &tried);
    }
    QCOMPARE(browser.state(), QProcess::Running);
    browser.terminate();
    if (!browser.waitForFinished(20000))
        browser.kill();
    browser.waitForFinished(10000);

    PlacesWriter db(places);
    QVERIFY(db.db.isOpen());
    const qint64 toolbar = db.root(u"toolbar_____"_qs);
    const qint64 dev = db.add(2, toolbar, u"開発"_qs, 1600000100);
    const qint64 second = db.add(2, dev, u"第二階層"_qs, 1600000200);
    const qint64 third = db.add(2, second, u"第三階層"_qs, 1600000300);
    db.add(1, third, u"検索 & 結果"_qs, 1600000400,
           u"https://www.example.jp/search?q=日本語&lang=ja"_qs);
    db.add(3, dev, QVariant(), 1600000450);
    db.add(1, dev, u"Qt <6>"_qs, 1600000500, u"https://doc.qt.io/"_qs);
    db.add(1, dev, u"Qt <6>"_qs, 1600000600, u"https://doc.qt.io/qt-6/"_qs);
    db.add(1, toolbar, QVariant(), 1600000700, u"https://example.org/untitled"_qs);
    db.add(1, toolbar, u"最近のタグ"_qs, 1600000800, u"place:type=6&sort=14&maxResults=10"_qs);
    const qint64 tag = db.add(2, db.root(u"tags________"_qs), u"タグ付き"_qs, 1600000900);
    db.add(1, tag, QVariant(), 1600000900, u"https://tagged.example/"_qs);
    const QStringList expected{
        u"ブックマークツールバー/|*"_qs,
        u"ブックマークツールバー/開発/|1600000100"_qs,
        u"ブックマークツールバー/開発/第二階層/|1600000200"_qs,
        u"ブックマークツールバー/開発/第二階層/第三階層/|1600000300"_qs,
        u"ブックマークツールバー/開発/第二階層/第三階層/検索 & 結果.url|https://www.example.jp/search?q=日本語&lang=ja 1600000400"_qs,
        u"ブックマークツールバー/開発/Qt ＜6＞.url|https://doc.qt.io/ 1600000500"_qs,
        u"ブックマークツールバー/開発/Qt ＜6＞ (2).url|https://doc.qt.io/qt-6/ 1600000600"_qs,
        u"ブックマークツールバー/https：／／example.org／untitled.url|https://example.org/untitled 1600000700"_qs};

    const QString after = m_dir->filePath(u"after"_qs);
    QStringList log;
    QVERIFY(importInto(places, after, &log));
    compareTree(below(importedTree(after), u"ブックマークツールバー/"_qs), expected);
    QVERIFY(QFileInfo(after + u"/他のブックマーク"_qs).isDir());
    QVERIFY(!log.filter(u"Get Help"_qs).isEmpty());
    QVERIFY(log.filter(u"タグ付き"_qs).isEmpty());

    // Another program holding the database as Firefox does, in the middle of a change.
    db.exec(u"PRAGMA locking_mode = EXCLUSIVE"_qs);
    db.exec(u"BEGIN EXCLUSIVE"_qs);
    db.add(1, toolbar, u"未確定"_qs, 1600001000, u"https://uncommitted.example/"_qs);
    const QString locked = m_dir->filePath(u"locked"_qs);
    QVERIFY(importInto(places, locked));
    compareTree(below(importedTree(locked), u"ブックマークツールバー/"_qs), expected);
    db.exec(u"ROLLBACK"_qs);
}

void TestConvert::chromiumBookmarksImportTheThreeRoots()
{
    const QString base = m_dir->filePath(u"base"_qs);
    QStringList log;
    QVERIFY(importInto(QStringLiteral(VELLUMDEX_TEST_DATA "/browsers/chromium/Default/Bookmarks"),
                       base, &log));
    compareTree(
        importedTree(base),
        {u"ブックマーク バー/|1600000000"_qs,
         u"ブックマーク バー/Example & Co.url|https://www.example.com/?a=1&b=2 1600000100"_qs,
         u"ブックマーク バー/開発/|1600000200"_qs,
         u"ブックマーク バー/開発/Qt 6 ＜docs＞.url|https://doc.qt.io/qt-6/ 1600000300"_qs,
         u"ブックマーク バー/開発/深い/|1600000400"_qs,
         u"ブックマーク バー/開発/深い/さらに深い/|1600000500"_qs,
         u"ブックマーク バー/開発/深い/さらに深い/日本語のページ.url|https://ja.wikipedia.org/wiki/日本語 1600000600"_qs,
         u"ブックマーク バー/開発/Qt 6 ＜docs＞ (2).url|https://doc.qt.io/qt-6/qtcore-index.html 1600000700"_qs,
         u"その他のブックマーク/|1600000800"_qs,
         u"その他のブックマーク/ニュース： 今日／明日.url|https://news.example.org/ 1600000900"_qs,
         u"モバイルのブックマーク/|1600001000"_qs,
         u"モバイルのブックマーク/モバイルで見た.url|https://m.example.jp/ 1600001100"_qs});
    QCOMPARE(log.first(), u"ブックマークファイルを読み込んでいます"_qs);
    QCOMPARE(log.last(), u"ブックマークファイルを読み込みました (フォルダ 6、リンク 6)"_qs);
}

void TestConvert::chromiumBookmarksReadInAnyKeyOrder_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("type before children, roots out of order")
        << QByteArray(R"({"roots": {"other": {"children": [{"type": "url", "name": "b",
            "url": "https://b.example/"}]}, "bookmark_bar": {"children": [{"type": "folder",
            "name": "A", "children": [{"type": "url", "name": "a", "url": "https://a.example/"}]}]}}})")
        << QStringList{u"ブックマーク バー/|*"_qs, u"ブックマーク バー/A/|*"_qs,
                       u"ブックマーク バー/A/a.url|https://a.example/ *"_qs,
                       u"その他のブックマーク/|*"_qs,
                       u"その他のブックマーク/b.url|https://b.example/ *"_qs};
    QTest::newRow("what a link or an unknown node holds is not read")
        << QByteArray(R"({"roots": {"bookmark_bar": {"children": [{"children": [{"name": "in",
            "type": "url", "url": "https://in.example/"}], "name": "L", "type": "url",
            "url": "https://l.example/"}, {"children": [{"name": "y", "type": "url",
            "url": "https://y.example/"}], "type": "separator"}, 5, {"name": "nothing",
            "type": "url"}]}}})")
        << QStringList{u"ブックマーク バー/|*"_qs,
                       u"ブックマーク バー/L.url|https://l.example/ *"_qs};
    QTest::newRow("an empty mobile root is left out, one holding anything is kept")
        << QByteArray(R"({"roots": {"bookmark_bar": {"children": []}, "other": {},
            "synced": {"children": [null]}}})")
        << QStringList{u"ブックマーク バー/|*"_qs, u"モバイルのブックマーク/|*"_qs};
}

void TestConvert::chromiumBookmarksReadInAnyKeyOrder()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, expected);
    const QString file = m_dir->filePath(u"Bookmarks"_qs);
    writeBytes(file, json);
    const QString base = m_dir->filePath(u"base"_qs);
    QVERIFY(importInto(file, base));
    compareTree(importedTree(base), expected);
}

void TestConvert::browserBookmarksBadInputWritesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sql"); // makes an SQLite database instead
    QTest::addColumn<QString>("message");
    QFile damaged(QStringLiteral(VELLUMDEX_TEST_DATA "/browsers/damaged-places.sqlite"));
    QVERIFY(damaged.open(QIODevice::ReadOnly));
    QTest::newRow("damaged database")
        << damaged.readAll() << QString()
        << u"Firefox のブックマークを読み込めません [%1] (データベースのファイルではありません)"_qs;
    QTest::newRow("another program's database")
        << QByteArray() << u"CREATE TABLE notes (id INTEGER, body TEXT)"_qs
        << u"Firefox のブックマークを読み込めません [%1] (Firefox のデータベースではありません)"_qs;
    QTest::newRow("Firefox's tables without its roots")
        << QByteArray()
        << u"CREATE TABLE moz_bookmarks (id INTEGER, type INTEGER, fk INTEGER, parent INTEGER, "
           "position INTEGER, title TEXT, dateAdded INTEGER, guid TEXT); CREATE TABLE moz_places "
           "(id INTEGER, url TEXT)"_qs
        << u"Firefox のブックマークが見つかりません [%1]"_qs;
    QTest::newRow("a title column that computes 2 MB")
        << QByteArray()
        << u"CREATE TABLE moz_bookmarks (id INTEGER, type INTEGER, fk INTEGER, parent INTEGER, "
           "position INTEGER, title TEXT GENERATED ALWAYS AS (printf('%.*c', 2000000, 'x')), "
           "dateAdded INTEGER, guid TEXT); CREATE TABLE moz_places (id INTEGER, url TEXT); "
           "INSERT INTO moz_bookmarks (id, type, parent, guid) VALUES (1, 2, 0, 'menu________')"_qs
        << u"Firefox のブックマークを読み込めません [%1] (1 MiB を超える値があります)"_qs;
    QTest::newRow("JSON that is not bookmarks")
        << QByteArray(R"({"profile": {"info_cache": {}}, "roots": [1, 2]})") << QString()
        << u"Chromium 系ブラウザのブックマークが見つかりません [%1]"_qs;
    QTest::newRow("JSON cut short")
        << QByteArray(R"({"roots": {"bookmark_bar": {"children": [)") << QString()
        << u"Chromium 系ブラウザのブックマークとして読めません (JSON の 41 バイト目) [%1]"_qs;
}

void TestConvert::browserBookmarksBadInputWritesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sql);
    QFETCH(QString, message);
    const QString file = m_dir->filePath(u"input"_qs);
    if (sql.isEmpty()) {
        writeBytes(file, bytes);
    } else {
        PlacesWriter db(file);
        for (const QString &statement : sql.split(u"; "_qs))
            db.exec(statement);
    }
    const QString base = m_dir->filePath(u"base"_qs);
    QStringList log;
    QVERIFY(!importInto(file, base, &log));
    QCOMPARE(log.last(), message.arg(file));
    QVERIFY(!QFileInfo::exists(base));
}

namespace {

// Tests run as root, where no permission bites. File access is checked as "nobody" while one
// of these lives (the file-system ids only, so the test can go back to root at any time).
class AsNobody
{
public:
    static constexpr uid_t Nobody = 65534;
    AsNobody()
    {
        if (::geteuid() != 0) {
            m_effective = true; // an ordinary user: permissions bite as they are
            return;
        }
        ::setfsgid(Nobody);
        ::setfsuid(Nobody);
        m_switched = true;
        m_effective = ::setfsuid(uid_t(-1)) == Nobody;
    }
    ~AsNobody() { restore(); }
    void restore()
    {
        if (!m_switched)
            return;
        ::setfsuid(0);
        ::setfsgid(0);
        m_switched = false;
    }
    bool effective() const { return m_effective; }

    // Runs f with root's rights (to change the tree behind the run's back), then as nobody again.
    template <typename F> void asRoot(F f)
    {
        const bool was = m_switched;
        restore();
        f();
        if (was) {
            ::setfsgid(Nobody);
            ::setfsuid(Nobody);
            m_switched = true;
        }
    }

private:
    bool m_switched = false;
    bool m_effective = false;
};

// A small file system that fills up: a tmpfs where mounting works, otherwise a file size
// limit of the same size on this process (a write past it fails as on a full disk).
class SmallDisk
{
public:
    bool mount(const QString &folder, int bytes, const QByteArray &more = {})
    {
        m_folder = QFile::encodeName(folder);
        const QByteArray options = "size=" + QByteArray::number(bytes) + more;
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
        m_bytes = bytes;
        return m_mounted;
    }
    void limitFileSize()
    {
        if (m_mounted)
            return;
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = rlim_t(m_bytes);
        m_limited = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    void liftLimit()
    {
        if (m_limited)
            ::setrlimit(RLIMIT_FSIZE, &m_old);
        m_limited = false;
    }
    ~SmallDisk()
    {
        liftLimit();
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    int m_bytes = 0;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_old{};
};

constexpr QFileDevice::Permissions Everyone =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
constexpr QFileDevice::Permissions ReadOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther;

} // namespace

void TestConvert::runFaultKeepsPreviousPage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // how the logged cause begins
    QTest::newRow("source folder vanishes mid-run")
        << u"vanish"_qs << u"フォルダが見つかりません ["_qs;
    QTest::newRow("subfolder becomes unreadable mid-run")
        << u"unreadable folder"_qs << u"フォルダを開く事が出来ません ["_qs;
    QTest::newRow("shortcut becomes unreadable mid-run: skipped with a word")
        << u"unreadable shortcut"_qs << u"ファイルが存在しないか開く事が出来ません"_qs;
    QTest::newRow("output folder missing") << u"missing"_qs << u"出力ファイルを作成できません ["_qs;
    QTest::newRow("output folder read-only")
        << u"read-only"_qs << u"出力ファイルを作成できません ["_qs;
    QTest::newRow("disk fills while the page is written")
        << u"full"_qs << u"ファイルを書き込めません ["_qs;
}

void TestConvert::runFaultKeepsPreviousPage()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QVERIFY(QFile::setPermissions(m_dir->path(), Everyone));
    const QString top = makeExampleTree();
    // A page larger than the small disk below.
    for (int i = 0; i < 300; ++i)
        writeShortcut(top + QStringLiteral("/S/link%1.url").arg(i),
                      u"http://example.jp/"_qs + QString(100, u'x') + QString::number(i));
    const QString outFolder = m_dir->filePath(u"out"_qs);
    QVERIFY(QDir().mkpath(outFolder));
    SmallDisk disk;
    if (fault == u"full"_qs && !disk.mount(outFolder, 32 * 1024))
        qInfo("no tmpfs here: a file size limit stands in for the full disk");
    QVERIFY(QFile::setPermissions(outFolder, fault == u"read-only"_qs ? ReadOnly : Everyone));
    const QString out = fault == u"missing"_qs ? m_dir->filePath(u"gone/page.html"_qs)
                                               : outFolder + u"/page.html"_qs;
    if (fault != u"missing"_qs)
        writeBytes(out, "previous page");

    code_main::ConfigIni().SetFile(m_dir->filePath(u"Config.ini"_qs));
    cls_ConfigData definition;
    definition.setFileName(dataFile(u"simple.html"_qs));
    QVERIFY(definition.ConfigCheck());
    definition.Htmlcfg_Open();
    MakeHtmlProcess run;
    run.setInputFolder(top);
    run.setDecodeFlag(true);
    QStringList log;
    AsNobody nobody;
    if (!nobody.effective()) {
        // QSKIP with one argument trips clang's pedantic warning on variadic macros.
        QTest::qSkip("the file-system ids cannot be changed here", __FILE__, __LINE__);
        return;
    }
    connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) {
        log << l;
        // The top folder is listed, its subfolder S not yet.
        if (l != u"フォルダ情報読み出し [S]"_qs)
            return;
        nobody.asRoot([&] {
            if (fault == u"vanish"_qs)
                QDir(top).removeRecursively();
            else if (fault == u"unreadable folder"_qs)
                QFile::setPermissions(top + u"/S"_qs, {});
            else if (fault == u"unreadable shortcut"_qs)
                QFile::setPermissions(top + u"/A.url"_qs, {});
        });
    });
    if (fault == u"full"_qs)
        disk.limitFileSize();
    const bool ok = run.MakeHtml(out, definition);
    disk.liftLimit();
    nobody.restore();
    QFile::setPermissions(top + u"/S"_qs, Everyone);

    if (fault == u"unreadable shortcut"_qs) {
        QVERIFY(ok);
        // A line of the run's log, not a message box.
        QVERIFY(m_sink.messages.isEmpty());
        QVERIFY2(!log.filter(message).isEmpty(), qPrintable(log.join(u'|')));
        QVERIFY(!readBytes(out).contains("a.example"));
        return;
    }
    QVERIFY(!ok);
    QCOMPARE(log.at(log.size() - 2), u"  変換に失敗しました。"_qs);
    QVERIFY2(!log.filter(message).isEmpty(), qPrintable(log.mid(log.size() - 6).join(u'|')));
    if (fault == u"missing"_qs) {
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"gone"_qs)));
        return;
    }
    QCOMPARE(readBytes(out), QByteArray("previous page"));
    QCOMPARE(QDir(outFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                       QDir::System),
             QStringList{u"page.html"_qs});
}

void TestConvert::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("missing"); // bytes of the new file the disk has no room for
    // Row names built here: addRow's formatting trips GCC's format-overflow check at -O3.
    for (const QByteArray file : {"page", "settings", "image", "restore", "import"}) {
        QTest::newRow(file + ", nothing free") << QString::fromLatin1(file) << 0;
        for (int missing : {1, 100, 1141, 4096, 65536})
            QTest::newRow(file + ", " + QByteArray::number(missing) + " bytes short")
                << QString::fromLatin1(file) << missing;
        QTest::newRow(file + ", no inode free") << QString::fromLatin1(file) << -1;
    }
}

void TestConvert::fullDiskKeepsTheOldFile()
{
    QFETCH(QString, file);
    QFETCH(int, missing);
    const QString disk = m_dir->filePath(u"disk"_qs);
    QVERIFY(QDir().mkpath(disk));
    SmallDisk small;
    if (!small.mount(disk, 4 << 20, missing < 0 ? ",nr_inodes=64" : "")) {
        QTest::qSkip("a tmpfs cannot be mounted here", __FILE__, __LINE__);
        return;
    }
    // Every new file is large enough to be cut anywhere, 65,536 bytes before its end too.
    const QString address = u"http://example.jp/"_qs + QString(100000, u'x');
    const QString top = m_dir->filePath(u"Fav"_qs);
    // The page stays small where the images are the new files.
    writeShortcut(top + u"/L.url"_qs, file == u"image"_qs ? u"http://example.jp/"_qs : address);
    QString definitionFile = dataFile(u"simple.html"_qs);
    if (file == u"image"_qs) {
        definitionFile = m_dir->filePath(u"image.html"_qs);
        QByteArray text = readBytes(dataFile(u"simple.html"_qs));
        text.chop(2);
        writeBytes(definitionFile, text + "<!--ImageConfig=Start-->\r\n[ImageList]\r\nDataCount=1"
                                          "\r\nImage_1=dot.gif\r\n<!--ImageConfig=End-->\r\n\r\n");
        writeBytes(m_dir->filePath(u"mine/dot.gif"_qs), "GIF89a" + QByteArray(100000, 'g'));
    }
    const QString page = m_dir->filePath(u"page.html"_qs);
    writeBytes(page, convert(top, true));
    writeBytes(
        m_dir->filePath(u"bookmarks.html"_qs),
        Cp932::fromUnicode(u"<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n<DL><p>\r\n<DT><A HREF=\""_qs +
                           address + u"\">L</A>\r\n</DL><p>\r\n"_qs));
    const QString target = disk + (file == u"page"_qs       ? u"/page.html"_qs
                                   : file == u"settings"_qs ? u"/Vellumdex.ini"_qs
                                   : file == u"image"_qs    ? u"/dot.gif"_qs
                                   : file == u"restore"_qs  ? u"/F/Fav/L.url"_qs
                                                            : u"/F/L.url"_qs);
    code_main::ConfigIni().SetFile(m_dir->filePath(u"Config.ini"_qs));
    QStringList log;
    const auto run = [&] {
        log.clear();
        if (file == u"settings"_qs) {
            ProfileFile settings(target);
            settings.load();
            settings.setValue(u"FTP"_qs, u"Data_1"_qs, address);
            QString error;
            const bool saved = settings.save(&error);
            log << error;
            return saved;
        }
        MakeHtmlProcess process;
        connect(&process, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
        if (file == u"restore"_qs)
            return process.DecodeStart(page, disk + u"/F"_qs);
        if (file == u"import"_qs)
            return process.ImportBookmarks(m_dir->filePath(u"bookmarks.html"_qs), disk + u"/F"_qs);
        cls_ConfigData definition;
        definition.setFileName(definitionFile);
        definition.ConfigCheck();
        definition.GetStatus();
        if (file == u"image"_qs) {
            definition.Image(1)->setSelectFile(m_dir->filePath(u"mine/dot.gif"_qs));
            definition.Image(1)->setImageChange(true);
            definition.SaveSetting();
        }
        definition.Htmlcfg_Open();
        process.setInputFolder(top);
        process.setDecodeFlag(true);
        return process.MakeHtml(disk + u"/page.html"_qs, definition);
    };
    // Once with room, for the new file's size; then the old file back, and the disk filled.
    writeBytes(target, "[System]\r\nold=1\r\n");
    QVERIFY2(run(), qPrintable(log.join(u'|')));
    const qint64 size = QFileInfo(target).size();
    const qint64 pageSize = QFileInfo(disk + u"/page.html"_qs).size();
    QVERIFY2(size > 100000, qPrintable(log.join(u'|')));
    writeBytes(target, "[System]\r\nold=1\r\n");
    struct statvfs fs;
    QCOMPARE(::statvfs(QFile::encodeName(disk).constData(), &fs), 0);
    if (missing < 0) {
        for (fsfilcnt_t i = fs.f_favail; i > 0; --i)
            writeBytes(disk + u"/inode"_qs + QString::number(i), {});
    } else {
        const qint64 block = qint64(fs.f_bsize);
        qint64 room = missing == 0 ? 0 : (size - missing) / block * block;
        if (file == u"image"_qs) // the page before the images needs its room
            room = qMax(room, (pageSize + block - 1) / block * block);
        writeBytes(disk + u"/filler"_qs, QByteArray(qint64(fs.f_bavail) * block - room, 'f'));
    }
    const auto before = snapshot(disk, true);
    QVERIFY(!run());
    QCOMPARE(readBytes(target), QByteArray("[System]\r\nold=1\r\n"));
    QVERIFY(snapshot(disk, true) == before); // nothing new, nothing changed
    QVERIFY2(!log.filter(u"ディスクがいっぱいです"_qs).isEmpty(), qPrintable(log.join(u'|')));
}

void TestConvert::restoreCutAtEveryLineNamesThePart()
{
    const QString top = makeExampleTree();
    writeBytes(top + u"/S/two.url"_qs, "[InternetShortcut]\r\nURL=http://two/\r\nIconIndex=2\r\n");
    const QStringList lines = Cp932::toUnicode(convert(top, true)).split(u"\r\n"_qs);
    const qsizetype encode = lines.indexOf(u"[encode]"_qs);
    const qsizetype end = lines.indexOf(u"[exact]"_qs, encode);
    const qsizetype folders = lines.at(encode + 1).mid(7).toInt();
    const qsizetype linkLine = encode + 2 + 3 * folders;
    QVERIFY(lines.at(linkLine).startsWith(u"Link="_qs));
    // Each complete shortcut record: its file name (as the restore makes it) and content.
    QMap<QString, QByteArray> records;
    for (qsizetype i = linkLine + 1; i < end;) {
        const QString name = lines.at(i).mid(9);
        const qsizetype n = lines.at(i + 2).mid(9).toInt();
        records.insert(name, Cp932::fromUnicode(lines.mid(i + 3, n).join(u"\r\n"_qs) + u"\r\n"_qs));
        i += 3 + n;
    }
    QCOMPARE(records.size(), 4);

    for (qsizetype cut = encode + 1; cut < lines.indexOf(u"-->"_qs, encode); ++cut) {
        if (cut == end)
            continue; // the block as the Windows program writes it: whole
        const QString id = QString::number(cut);
        const QString file = m_dir->filePath(u"cut"_qs + id + u".html"_qs);
        writeBytes(file, Cp932::fromUnicode(lines.mid(0, cut).join(u"\r\n"_qs) + u"\r\n"_qs));
        const QString base = m_dir->filePath(u"base"_qs + id);
        // There before the restore: a file of the user's and an older copy of a shortcut.
        writeBytes(base + u"/mine.txt"_qs, "mine");
        writeBytes(base + u"/Fav/A.url"_qs, "older A");
        MakeHtmlProcess run;
        QStringList log;
        connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
        QVERIFY2(!run.DecodeStart(file, base), qPrintable(id));
        const QString expected = cut == encode + 1 ? u"復元情報が見つかりません"_qs
                                 : cut < linkLine ? u"フォルダの復元に失敗しました"_qs
                                 : cut == linkLine ? u"リンク情報が見つかりません"_qs
                                                   : u"リンクの復元に失敗しました"_qs;
        QCOMPARE(log.at(log.size() - 4), expected);
        QCOMPARE(log.at(log.size() - 2), u"  復元に失敗しました。"_qs);

        QCOMPARE(readBytes(base + u"/mine.txt"_qs), QByteArray("mine"));
        const QStringList made = log.filter(u"リンク復元["_qs);
        QStringList names;
        for (const QString &l : made)
            names << l.mid(6).chopped(1);
        // Every shortcut written is whole; the older one is whole too, old or new.
        const auto after = snapshot(base);
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (it.key() == u"mine.txt"_qs)
                continue;
            const QString name = it.key().section(u'/', -1).chopped(4);
            QVERIFY2(it.key().endsWith(u".url"_qs), qPrintable(it.key()));
            if (names.contains(name))
                QCOMPARE(it.value(), records.value(name));
            else
                QCOMPARE(it.value(), QByteArray("older A"));
        }
        for (const QString &name : names)
            QVERIFY(after.contains(u"Fav/"_qs + name + u".url"_qs) ||
                    after.contains(u"Fav/S/"_qs + name + u".url"_qs));
    }
}

void TestConvert::restoreNeverWritesThroughLinks()
{
    const QString outside = m_dir->filePath(u"outside"_qs);
    QVERIFY(QDir().mkpath(outside));
    const QString block = u"[encode]\r\nFolder=2\r\nID=2\r\nTitle=Fav\r\nParentID=0\r\nID=1\r\n"_qs
                          u"Title=S\r\nParentID=2\r\nLink=2\r\nFileName=A\r\nParentID=2\r\n"_qs
                          u"FileLine=1\r\nURL=http://a/\r\nFileName=B\r\nParentID=1\r\n"_qs
                          u"FileLine=1\r\nURL=http://b/\r\n"_qs;
    const QString file = m_dir->filePath(u"p.html"_qs);
    writeBytes(file, page(block));

    // A shortcut name that is a dangling link to a file outside the base folder.
    const QString base = m_dir->filePath(u"base"_qs);
    QVERIFY(QDir().mkpath(base + u"/Fav/S"_qs));
    QVERIFY(QFile::link(outside + u"/planted.url"_qs, base + u"/Fav/A.url"_qs));
    QVERIFY(QFile::link(outside + u"/planted2.url"_qs, base + u"/Fav/S/B.url.vellumdex-tmp"_qs));
    QFile::link(outside + u"/planted3.url"_qs, base + u"/Fav/S/B.url"_qs);
    FavoritesRestore restore;
    QVERIFY(restore.DecodeFile(file, base));
    QVERIFY(QDir(outside).isEmpty());
    QCOMPARE(readBytes(base + u"/Fav/A.url"_qs), QByteArray("URL=http://a/\r\n"));
    QVERIFY(!QFileInfo(base + u"/Fav/A.url"_qs).isSymLink());
    QCOMPARE(readBytes(base + u"/Fav/S/B.url"_qs), QByteArray("URL=http://b/\r\n"));

    // A folder of the page that is a link to a folder outside.
    const QString base2 = m_dir->filePath(u"base2"_qs);
    QVERIFY(QDir().mkpath(base2));
    QVERIFY(QFile::link(outside, base2 + u"/Fav"_qs));
    FavoritesRestore again;
    QStringList log;
    connect(&again, &FavoritesRestore::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(!again.DecodeFile(file, base2));
    QVERIFY(log.last().startsWith(u"フォルダを作成できません ["_qs));
    QVERIFY(QDir(outside).isEmpty());
}

void TestConvert::lineBreakInShortcutNameStaysInItsRecord()
{
    // A file name can hold a line break here; in the restore block it would start a record.
    const QString top = m_dir->filePath(u"Fav"_qs);
    writeShortcut(top + u"/x\r\nFileName=y\nParentID=1.url"_qs, u"http://x/"_qs);
    writeShortcut(top + u"/z.url"_qs, u"http://z/"_qs);
    const QString pageFile = m_dir->filePath(u"page.html"_qs);
    writeBytes(pageFile, convert(top, true));
    QVERIFY(readBytes(pageFile).contains(">x&#13;&#10;FileName=y&#10;ParentID=1</a>"));
    FavoritesRestore restore;
    QVERIFY(restore.DecodeFile(pageFile, m_dir->filePath(u"base"_qs)));
    QCOMPARE(snapshot(m_dir->filePath(u"base"_qs)).keys(),
             (QStringList{u"Fav/x\r\nFileName=y\nParentID=1.url"_qs, u"Fav/z.url"_qs}));
}

namespace {

// A tree by its names' own bytes: each file's bytes and each entry's date, links followed.
void rawTree(const QByteArray &dir, const QByteArray &rel, QMap<QByteArray, QByteArray> &out)
{
    DIR *d = ::opendir(dir.constData());
    QVERIFY(d);
    while (dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st;
        QVERIFY(::stat((dir + '/' + name).constData(), &st) == 0);
        const QByteArray key = rel + name + (S_ISDIR(st.st_mode) ? "/" : "");
        out[key] = QByteArray::number(qint64(st.st_mtim.tv_sec));
        if (S_ISDIR(st.st_mode))
            rawTree(dir + '/' + name, key, out);
        else {
            const int fd = ::open((dir + '/' + name).constData(), O_RDONLY);
            QByteArray bytes(qsizetype(st.st_size), '\0');
            QVERIFY(fd >= 0 && ::read(fd, bytes.data(), size_t(st.st_size)) == st.st_size);
            ::close(fd);
            out[key] += ' ' + bytes;
        }
    }
    ::closedir(d);
}

void setTime(const QByteArray &path, qint64 seconds)
{
    struct timespec t[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    QVERIFY(::utimensat(AT_FDCWD, path.constData(), t, AT_SYMLINK_NOFOLLOW) == 0);
}

} // namespace

void TestConvert::roundTripKeepsEveryNameByteAndDate()
{
    const QByteArray top = QFile::encodeName(m_dir->filePath(u"Fav"_qs));
    const QByteArray other = QFile::encodeName(m_dir->filePath(u"Other"_qs));
    QMap<QByteArray, QByteArray> expected;
    qint64 date = 1'000'000'000;
    const auto put = [&](const QByteArray &rel, const QByteArray &bytes) {
        const QByteArray path = top + '/' + rel;
        QDir().mkpath(QFile::decodeName(path.left(path.lastIndexOf('/'))));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size());
        ::close(fd);
        setTime(path, ++date);
        expected[rel] = QByteArray::number(date) + ' ' + bytes;
    };
    const QByteArray url =
        "[InternetShortcut]\r\nURL=http://x/?q=--><script>document.title='ran'</script>\r\n";
    put("😀 한국어 简体中文 Ærø.url", "\xef\xbb\xbf[InternetShortcut]\r\nURL=http://u8/\r\n");
    put(QString(u"フ\u309A \u301C"_qs).toUtf8() + ".url", QByteArray("\xff\xfe[\0I\0", 6));
    put("ctl\x01 back\\slash a-->b.url", url);
    put("x.url", "[InternetShortcut]\nURL=http://lf/");
    put("x.URL", "[InternetShortcut]\r\nURL=http://mixed/\nIcon=1");
    put("bin.url", QByteArray("\0\xff\xfe\x80\r\r\n--!>", 10));
    put("\x93\xfa\x96\x7b.url", "[InternetShortcut]\r\nURL=http://sjis/\r\n");
    put("dir-->\\\nx/in.url", url);
    put("dir-->\\\nx/Sub/in.url", "plain\r\n");
    // A link to a folder outside is followed; a link back up the tree is left out.
    QDir().mkpath(QFile::decodeName(other));
    QFile::copy(QFile::decodeName(top + "/x.url"), QFile::decodeName(other + "/o.url"));
    setTime(other + "/o.url", 42);
    QVERIFY(::symlink(other.constData(), (top + "/linked").constData()) == 0);
    QVERIFY(::symlink("..", (top + "/dir-->\\\nx/loop").constData()) == 0);
    expected["linked/o.url"] = "42 " + expected["x.url"].mid(expected["x.url"].indexOf(' ') + 1);
    for (const QByteArray &dir :
         {QByteArray("dir-->\\\nx/Sub/"), QByteArray("dir-->\\\nx/"), QByteArray("linked/")}) {
        setTime(top + '/' + dir, ++date);
        expected[dir] = QByteArray::number(date);
    }

    QStringList convertLog;
    const QByteArray pageBytes =
        convert(QFile::decodeName(top), true, false, 1, false, &convertLog);
    const QString pageFile = m_dir->filePath(u"page.html"_qs);
    writeBytes(pageFile, pageBytes);
    QVERIFY(Cp932::fromUnicode(Cp932::toUnicode(pageBytes)) == pageBytes); // all code page 932
    QCOMPARE(convertLog.filter(u"既に読み込んだフォルダ"_qs).size(), 1);
    const QString base = m_dir->filePath(u"restored"_qs);
    MakeHtmlProcess run;
    QStringList log;
    connect(&run, &MakeHtmlProcess::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(run.DecodeStart(pageFile, base));
    QMap<QByteArray, QByteArray> restored;
    rawTree(QFile::encodeName(base) + "/Fav", QByteArray(), restored);
    QCOMPARE(restored, expected);
    QVERIFY(log.filter(u"名前が重なるため"_qs).isEmpty());

    // Restored once more into the same folder: every file replaced, none lost or doubled.
    MakeHtmlProcess again;
    QVERIFY(again.DecodeStart(pageFile, base));
    restored.clear();
    rawTree(QFile::encodeName(base) + "/Fav", QByteArray(), restored);
    QCOMPARE(restored.keys(), expected.keys());
}

void TestConvert::longestNamesCanBeReplaced_data()
{
    QTest::addColumn<bool>("import");
    QTest::newRow("restore") << false;
    QTest::newRow("import") << true;
}

void TestConvert::longestNamesCanBeReplaced()
{
    // 255 bytes with ".url": the second run replaces what the first made.
    QFETCH(bool, import);
    const QString title = QString(83, u'あ') + u"ab"_qs;
    const QString file = m_dir->filePath(u"long.html"_qs);
    if (import)
        writeBytes(file,
                   "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n<DL><p>\r\n<DT><A HREF=\"http://x/\">" +
                       title.toUtf8() + "</A>\r\n</DL><p>\r\n");
    else
        writeBytes(file,
                   page(u"[encode]\r\nFolder=1\r\nID=1\r\nTitle=T\r\nParentID=0\r\nLink=1\r\n"_qs
                        u"FileName="_qs +
                        title + u"\r\nParentID=1\r\nFileLine=1\r\nURL=x\r\n"_qs));
    const QString base = m_dir->filePath(u"base"_qs);
    for (int run = 0; run < 2; ++run) {
        MakeHtmlProcess process;
        QVERIFY(process.DecodeStart(file, base));
    }
    const auto tree = snapshot(base);
    QCOMPARE(tree.size(), 1);
    QCOMPARE(QFile::encodeName(tree.firstKey().section(u'/', -1)).size(), 255);
}

void TestConvert::restoreKeepsEqualNamesApart()
{
    // Two folders and two shortcuts of one name in one folder, as a page of "?" names had them:
    // none overwrites the other, and the log says which name was changed.
    const QString block = u"[encode]\r\nFolder=3\r\nID=3\r\nTitle=Fav\r\nParentID=0\r\n"_qs
                          u"ID=1\r\nTitle=q?\r\nParentID=3\r\nID=2\r\nTitle=q?\r\nParentID=3\r\n"_qs
                          u"Link=3\r\nFileName=a\r\nParentID=3\r\nFileLine=1\r\nURL=1\r\n"_qs
                          u"FileName=a\r\nParentID=3\r\nFileLine=1\r\nURL=2\r\n"_qs
                          u"FileName=b\r\nParentID=2\r\nFileLine=1\r\nURL=3\r\n"_qs;
    const QString file = m_dir->filePath(u"p.html"_qs);
    writeBytes(file, page(block));
    const QString base = m_dir->filePath(u"base"_qs);
    FavoritesRestore restore;
    QStringList log;
    connect(&restore, &FavoritesRestore::logLine, this, [&](const QString &l) { log << l; });
    QVERIFY(restore.DecodeFile(file, base));
    QCOMPARE(snapshot(base, true), (QMap<QString, QByteArray>{{u"Fav/"_qs, {}},
                                                              {u"Fav/q?/"_qs, {}},
                                                              {u"Fav/q? (2)/"_qs, {}},
                                                              {u"Fav/q? (2)/b.url"_qs, "URL=3\r\n"},
                                                              {u"Fav/a.url"_qs, "URL=1\r\n"},
                                                              {u"Fav/a (2).url"_qs, "URL=2\r\n"}}));
    QCOMPARE(log.filter(u"名前が重なるため"_qs),
             (QStringList{u"名前が重なるため [q?] を [q? (2)] として復元しました"_qs,
                          u"名前が重なるため [a.url] を [a (2).url] として復元しました"_qs}));
}

void TestConvert::roundTripOfRandomTrees()
{
    // Names of every kind the page must carry, in random trees; converted and restored, the
    // same names and bytes come back.
    const QStringList parts{u"a"_qs,   u"B"_qs,        u"😀"_qs,      u"한"_qs,    u"简"_qs,
                            u"é"_qs,   u"フ\u309A"_qs, u"\u301C"_qs, u"\x01"_qs,  u"\\"_qs,
                            u"-->"_qs, u"--!>"_qs,     u"&amp;"_qs,  u"&#65;"_qs, u"<"_qs,
                            u" "_qs,   u"日本"_qs};
    QRandomGenerator random(20261209);
    for (int round = 0; round < 12; ++round) {
        const QString top = m_dir->filePath(QStringLiteral("R%1/Top").arg(round));
        QStringList folders{QString()};
        for (int i = 0; i < 30; ++i) {
            QString name;
            for (int k = random.bounded(1, 4); k > 0; --k)
                name += parts.at(random.bounded(parts.size()));
            const QString folder = folders.at(random.bounded(folders.size()));
            if (random.bounded(3) == 0) {
                folders << folder + name + u'/';
                QDir().mkpath(top + u'/' + folders.last());
            } else {
                QByteArray bytes(random.bounded(40), '\0');
                for (char &b : bytes)
                    b = char(random.bounded(256));
                writeBytes(top + u'/' + folder + name +
                               (random.bounded(2) ? u".url"_qs : u".URL"_qs),
                           bytes);
            }
        }
        writeBytes(top + u"/last.url"_qs, "[InternetShortcut]\r\nURL=http://x/\r\n");
        const QString pageFile = m_dir->filePath(QStringLiteral("R%1/page.html").arg(round));
        writeBytes(pageFile, convert(top, true));
        FavoritesRestore restore;
        const QString base = m_dir->filePath(QStringLiteral("R%1/base").arg(round));
        QVERIFY(restore.DecodeFile(pageFile, base));
        QCOMPARE(snapshot(base + u"/Top"_qs), snapshot(top));
    }
}

void TestConvert::deepAndWideRestoresAreWhole()
{
    // Deeper than a path can name, and many folders of one folder: every record restored.
    for (const auto &[depth, wide] : {std::pair{3000, 1}, std::pair{40, 3000}}) {
        QString block;
        const int folders = depth + wide - 1;
        block += u"[encode]\r\nFolder="_qs + QString::number(folders) + u"\r\n"_qs;
        for (int i = 1; i <= depth; ++i)
            block += QStringLiteral("ID=%1\r\nTitle=d\r\nParentID=%2\r\n").arg(i).arg(i - 1);
        for (int i = depth + 1; i <= folders; ++i)
            block += QStringLiteral("ID=%1\r\nTitle=w%1\r\nParentID=%2\r\n").arg(i).arg(depth);
        block += u"Link="_qs + QString::number(wide) + u"\r\n"_qs;
        block += QStringLiteral("FileName=deep\r\nParentID=%1\r\nFileLine=1\r\nURL=http://d/\r\n")
                     .arg(depth);
        for (int i = depth + 1; i <= folders; ++i)
            block += QStringLiteral("FileName=w\r\nParentID=%1\r\nFileLine=1\r\nURL=http://w/\r\n")
                         .arg(i);
        const QString file = m_dir->filePath(u"deep.html"_qs);
        writeBytes(file, page(block));
        const QString base = m_dir->filePath(QStringLiteral("deep%1").arg(depth));
        FavoritesRestore restore;
        QVERIFY(restore.DecodeFile(file, base));
        int found = 0;
        QByteArray path = QFile::encodeName(base);
        for (int i = 0; i < depth; ++i)
            path += "/d";
        const int fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY);
        int dir = fd;
        for (int i = 0; i < depth; ++i) {
            const int next = ::openat(dir, "d", O_RDONLY | O_DIRECTORY);
            QVERIFY(next >= 0);
            if (dir != fd)
                ::close(dir);
            dir = next;
        }
        struct stat st;
        found += ::fstatat(dir, "deep.url", &st, 0) == 0;
        for (int i = depth + 1; i <= folders; ++i)
            found += ::fstatat(dir, QStringLiteral("w%1/w.url").arg(i).toLatin1().constData(), &st,
                               0) == 0;
        ::close(dir);
        if (dir != fd)
            ::close(fd);
        // Deeper than a path can name: QTemporaryDir could not remove it.
        QCOMPARE(QProcess::execute(u"rm"_qs, {u"-rf"_qs, base}), 0);
        QCOMPARE(found, wide);
    }
}

void TestConvert::craftedInputIsRefusedWithItsCause_data()
{
    // What to read: a page or bookmark file ("file"), a FIFO ("fifo"), or a folder to convert
    // holding the bytes as one shortcut ("folder"). Each is read once, in time linear in its
    // size (figures in docs/security.md).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray huge(16 * 1024 * 1024, 'x');
    const QByteArray block = "<!--\r\n[encode]\r\nFolder=1\r\nID=1\r\nTitle=Fav\r\nParentID=0\r\n"
                             "Link=1\r\nFileName=A\r\nParentID=1\r\n";
    QTest::newRow("page of one 16 MB line") << u"file"_qs << huge << u"復元情報が見つかりません"_qs;
    QTest::newRow("record line of 16 MB")
        << u"file"_qs << block + "FileLine=1\r\n" + huge + "\r\n-->\r\n"
        << u"リンクの復元に失敗しました"_qs;
    QByteArray lines;
    for (int i = 0; i < 3000; ++i)
        lines += QByteArray(1000, 'y') + "\r\n";
    QTest::newRow("shortcut record of 3 MB")
        << u"file"_qs << block + "FileLine=3000\r\n" + lines + "-->\r\n"
        << u"ショートカットが大きすぎます (1 MiB を超えています) [A]"_qs;
    QTest::newRow("bookmark address of 2 MB")
        << u"bookmark"_qs
        << "<H1>T</H1><DL><DT><A HREF=\"http://x/" + QByteArray(2 << 20, 'a') + "\">big</A></DL>"
        << u"アドレスが長すぎるため (1 MiB を超えています) 読み飛ばします [big]"_qs;
    QTest::newRow("FIFO as the page")
        << u"fifo"_qs << QByteArray()
        << u"ファイルを開く事が出来ません [%1] 通常のファイルではありません"_qs;
    // One shortcut 40 folders deep, in a block that holds its content twice: 2^40 times it.
    QTest::newRow("folder block doubling at each level")
        << u"doubling"_qs << QByteArray()
        << u"ページが大きすぎます (2 GiB を超えます)。定義ファイルの Folder ブロックを確かめてください"_qs;
    QTest::newRow("shortcut file of 2 MB")
        << u"folder"_qs << "[InternetShortcut]\r\nURL=http://x/" + QByteArray(2 << 20, 'x')
        << u"%1/big.url ショートカットが大きすぎます (1 MiB を超えています) "_qs
           u"このファイルを除いて処理を続行します"_qs;
}

void TestConvert::craftedInputIsRefusedWithItsCause()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString input = m_dir->filePath(u"input"_qs);
    QStringList log;
    if (kind == u"doubling"_qs) {
        const QString deep = input + QString(u"/f"_qs).repeated(40);
        writeShortcut(deep + u"/a.url"_qs, u"http://a/"_qs);
        writeBytes(m_dir->filePath(u"twice.html"_qs),
                   "<!--twice-->\r\n<!--Folder=Start-->\r\n**Parameter_2--**Parameter_2--\r\n"
                   "<!--Folder=End-->\r\n<!--Link=Start-->\r\n**Parameter_1--\r\n"
                   "<!--Link=End-->\r\n\r\n");
        PlainTemplate tpl(m_dir->filePath(u"twice.html"_qs));
        MakeHtmlProcess run;
        run.setInputFolder(input);
        try {
            run.HtmlMake(m_dir->filePath(u"page.html"_qs), tpl);
        } catch (const RunError &e) {
            log << e.message();
        }
        QVERIFY(!QFileInfo::exists(m_dir->filePath(u"page.html"_qs)));
    } else if (kind == u"folder"_qs) {
        writeBytes(input + u"/big.url"_qs, bytes);
        writeShortcut(input + u"/small.url"_qs, u"http://small/"_qs);
        const QByteArray page = convert(input, false, false, 1, false, &log);
        QVERIFY(page.contains("http://small/"));
        QVERIFY(m_sink.messages.isEmpty());
    } else {
        if (kind == u"fifo"_qs)
            QCOMPARE(::mkfifo(QFile::encodeName(input).constData(), 0600), 0);
        else
            writeBytes(input, bytes);
        MakeHtmlProcess run;
        connect(&run, &MakeHtmlProcess::logLine, this, [&log](const QString &l) { log << l; });
        // A bookmark too long is left out and the import goes on.
        const bool goesOn = kind == u"bookmark"_qs;
        QCOMPARE(run.DecodeStart(input, m_dir->filePath(u"base"_qs)), goesOn);
        // An import ends with its counts after the summary.
        QCOMPARE(log.at(log.size() - (goesOn ? 3 : 2)),
                 goesOn ? u"  お気に入りをインポートしました。"_qs : u"  復元に失敗しました。"_qs);
    }
    const QString expected = message.contains(u"%1"_qs) ? message.arg(input) : message;
    QVERIFY2(log.contains(expected), qPrintable(log.join(u'|')));
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"

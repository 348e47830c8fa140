// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion, restore and import figures for four shapes of favorites trees (flat, nested as
// browsers nest, one deep chain, one wide folder) of 1,000 to 100,000 shortcuts, each beside
// its floor on this machine in plain system calls (PosixFloor): for a conversion, reading every
// shortcut once and writing a file of the page's size; for a restore or an import, creating the
// same folders and files with their dates.
// Each measurement runs in a child process so that its peak memory is its own.
// "vellumdex-bench [--best N] [--shape NAME]... [shortcuts...]" (--best: the fastest of N runs
// of each step); "--bookmark-file FILE LINKS" writes one
// browser-style bookmark file alone (for bench/peers.sh); "--make-tree SHAPE DIR SHORTCUTS" one
// tree alone; "--measure STEP TREE WORK" one step on it (for a profiler).
// Times are processor seconds (user + system) of the step's process, steadier than wall time
// on a machine others share; VELLUMDEX_BENCH_WALL=1 shows wall time instead. The trees are
// made below TMPDIR (a tmpfs such as /dev/shm keeps the disk's swings out of the figures).
// "vellumdex-bench --import [links...]": bookmark files of 1,000 to 100,000 links read alone,
// imported into a Favorites tree, and the machine's floor (making the same files again).
// "vellumdex-bench --browsers [links...]": a Firefox places.sqlite and a Chromium Bookmarks file
// of as many links read whole (the import after the read is the bookmark file's); the Bookmarks
// file's floor is reading it once through RapidJSON's streaming reader and nothing else.
// "vellumdex-bench --restore-shapes [depth siblings]": the restore of a page 5,000 folders deep
// and of one with 100,000 sibling folders under 100 levels, against 5 s a MB and 64 MiB + page.

#include "BenchTree.h"
#include "PosixFloor.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "bookmarks/BookmarkFile.h"
#include "bookmarks/BookmarkTree.h"
#include "bookmarks/ChromiumBookmarks.h"
#include "bookmarks/FirefoxPlaces.h"
#include "page/TemplateBlocks.h"
#include "page/cls_htmlcfg.h"
#include "run/MakeHtmlProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <rapidjson/filereadstream.h>
#include <rapidjson/reader.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <utime.h>

namespace {

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
        // VELLUMDEX_BENCH_WHOLE: every folder built as one text, as pages were made before.
        static const bool whole = qEnvironmentVariableIsSet("VELLUMDEX_BENCH_WHOLE");
        return !whole && m_cfg.GetSettingAround(key, cut, before, after);
    }

private:
    cls_htmlcfg m_cfg;
};

class QuietSink : public MessageSink
{
public:
    void information(const QString &) override {}
};

// A bookmark file as a browser exports it: folders of 100 links a few levels deep, every tenth
// link with its icon inline.
qint64 makeBookmarkFile(const QString &path, int links)
{
    QRandomGenerator rng(7);
    const QByteArray icon = "data:image/png;base64," + QByteArray(600, 'A');
    QByteArray out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" "
                     "CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n"
                     "<H1>Bookmarks</H1>\n<DL><p>\n";
    int open = 0;
    for (int i = 0; i < links; ++i) {
        if (i % 100 == 0) {
            if (open > 2 || (open > 0 && rng.bounded(2) == 0)) {
                out += "</DL><p>\n";
                --open;
            }
            out += "<DT><H3 ADD_DATE=\"1600000000\">フォルダ " + QByteArray::number(i / 100) +
                   "</H3>\n<DL><p>\n";
            ++open;
        }
        out += "<DT><A HREF=\"https://example.com/" + QByteArray::number(i) +
               "?q=%E6%A4%9C&amp;x=1\" ADD_DATE=\"" + QByteArray::number(1600000000 + i) + "\"";
        if (i % 10 == 0)
            out += " ICON=\"" + icon + "\"";
        out += ">リンク " + QByteArray::number(i) + " 検索 &amp; 地図</A>\n";
    }
    for (; open >= 0; --open)
        out += "</DL><p>\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
        qFatal("cannot write %s", qPrintable(path));
    return out.size();
}

// Firefox's two tables as it makes them, folders of 100 links below the menu.
void makePlaces(const QString &path, int links)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"bench"_qs);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot make %s", qPrintable(path));
        QSqlQuery q(db);
        q.exec(u"CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title "
               "LONGVARCHAR, guid TEXT)"_qs);
        q.exec(
            u"CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER, "
            "parent INTEGER, position INTEGER, title LONGVARCHAR, dateAdded INTEGER, guid TEXT)"_qs);
        q.exec(u"CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position)"_qs);
        db.transaction();
        q.exec(u"INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 0, '', 0, 'root________'), "
               "(2, 2, NULL, 1, 0, 'menu', 0, 'menu________')"_qs);
        q.prepare(u"INSERT INTO moz_bookmarks (type, fk, parent, position, title, dateAdded, guid) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?)"_qs);
        QSqlQuery place(db);
        place.prepare(u"INSERT INTO moz_places (id, url, title) VALUES (?, ?, ?)"_qs);
        qint64 folder = 0;
        const auto row = [&q](const QVariantList &values) {
            for (const QVariant &v : values)
                q.addBindValue(v);
            q.exec();
            return q.lastInsertId().toLongLong();
        };
        for (int i = 0; i < links; ++i) {
            if (i % 100 == 0)
                folder = row({2, QVariant(), 2, i / 100, u"フォルダ "_qs + QString::number(i / 100),
                              qint64(1600000000) * 1000000, QVariant()});
            const QString url = u"https://example.com/"_qs + QString::number(i) + u"?q=%E6&x=1"_qs;
            place.addBindValue(i + 1);
            place.addBindValue(url);
            place.addBindValue(QVariant());
            place.exec();
            row({1, i + 1, folder, i % 100, u"リンク "_qs + QString::number(i) + u" 検索"_qs,
                 (1600000000 + qint64(i)) * 1000000, QVariant()});
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(u"bench"_qs);
}

// VELLUMDEX_BENCH_META=BYTES gives each link a "meta_info" of that many bytes, as a browser's
// own fields make a file larger for the same links.
void makeChromiumBookmarks(const QString &path, int links)
{
    const QString meta(qEnvironmentVariableIntValue("VELLUMDEX_BENCH_META"), u'm');
    QJsonArray folders;
    QJsonArray children;
    for (int i = 0; i <= links; ++i) {
        if ((i % 100 == 0 && i > 0) || i == links) {
            folders.append(QJsonObject{{u"type"_qs, u"folder"_qs},
                                       {u"name"_qs, u"フォルダ "_qs + QString::number(i / 100)},
                                       {u"date_added"_qs, u"13244473600000000"_qs},
                                       {u"children"_qs, children}});
            children = QJsonArray();
        }
        if (i == links)
            break;
        children.append(QJsonObject{
            {u"type"_qs, u"url"_qs},
            {u"name"_qs, u"リンク "_qs + QString::number(i) + u" 検索"_qs},
            {u"url"_qs, u"https://example.com/"_qs + QString::number(i) + u"?q=%E6&x=1"_qs},
            {u"date_added"_qs, QString::number((11644473600 + 1600000000 + qint64(i)) * 1000000)},
            {u"guid"_qs, u"6f1d2c3b-4a59-4e8f-9d0c-1b2a3c4d5e01"_qs}});
        if (!meta.isEmpty()) {
            QJsonObject link = children.last().toObject();
            link.insert(u"meta_info"_qs, QJsonObject{{u"power_bookmark_meta"_qs, meta}});
            children.replace(children.size() - 1, link);
        }
    }
    const QJsonObject roots{
        {u"bookmark_bar"_qs, QJsonObject{{u"type"_qs, u"folder"_qs}, {u"children"_qs, folders}}},
        {u"other"_qs, QJsonObject{{u"type"_qs, u"folder"_qs}, {u"children"_qs, QJsonArray()}}}};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(QJsonObject{{u"roots"_qs, roots}, {u"version"_qs, 1}}).toJson()) <=
            0)
        qFatal("cannot write %s", qPrintable(path));
}

// This process's own peak (VmHWM): getrusage's ru_maxrss would carry over what the parent
// held when it started the child.
long peakKiB()
{
    QFile status(u"/proc/self/status"_qs);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

double cpuSeconds()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuAtStart = 0;

void start(QElapsedTimer &timer)
{
    cpuAtStart = cpuSeconds();
    timer.start();
}

// Wall time, processor time (user and system), peak memory, and what the step made.
void report(double seconds, qint64 bytes)
{
    std::printf("%.3f %.3f %ld %lld\n", seconds, cpuSeconds() - cpuAtStart, peakKiB(),
                static_cast<long long>(bytes));
}

// The tree a run of the step before left, removed before the timed part in plain system calls:
// Qt's removal of a deep chain would set the step's peak memory.
void removeTree(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), F_OK) != 0)
        return;
    PosixFloor::raiseDescriptorLimit();
    PosixFloor::clear(PosixFloor::openFolder(name.constData()));
    ::rmdir(name.constData());
}

// Child: one measurement.
int measure(const QString &mode, const QString &tree, const QString &work)
{
    QuietSink sink;
    MessageSink::install(&sink);
    QElapsedTimer timer;
    if (mode.startsWith(u"floor"_qs)) {
        const QString page =
            work + (mode == u"floor-std"_qs ? u"/page-std.html"_qs : u"/page-nets.html"_qs);
        const std::string bytes(size_t(QFileInfo(page).size()), 'x');
        const QByteArray treePath = QFile::encodeName(tree);
        const QByteArray outPath = QFile::encodeName(work + u"/floor.html"_qs);
        start(timer);
        const qint64 read = PosixFloor::readShortcuts(PosixFloor::openFolder(treePath));
        PosixFloor::writeFile(outPath.constData(), bytes);
        report(timer.elapsed() / 1000.0, read);
        return 0;
    }
    if (mode == u"createfloor"_qs) {
        // tree: a folder made by the step before; it is read, emptied and made again.
        PosixFloor::Folder folder;
        const QByteArray path = QFile::encodeName(tree);
        PosixFloor::load(PosixFloor::openFolder(path), folder);
        PosixFloor::clear(PosixFloor::openFolder(path));
        ::rmdir(path.constData());
        PosixFloor::raiseDescriptorLimit();
        ::sync();
        start(timer);
        if (::mkdir(path.constData(), 0777) != 0)
            qFatal("cannot make %s", path.constData());
        const int fd = PosixFloor::openFolder(path);
        const qint64 made = PosixFloor::make(fd, folder);
        ::close(fd);
        report(timer.elapsed() / 1000.0, made);
        return 0;
    }
    if (mode == u"importpage"_qs) {
        const QString base = work + u"/imported"_qs;
        removeTree(base);
        MakeHtmlProcess run;
        start(timer);
        const bool ok = run.ImportBookmarks(work + u"/page-nets.html"_qs, base);
        report(timer.elapsed() / 1000.0, ok);
        return ok ? 0 : 1;
    }
    if (mode == u"parse"_qs) {
        start(timer);
        BookmarkFile file;
        file.open(tree);
        qint64 links = 0;
        for (BookmarkFile::Item item = file.next(); item.kind != BookmarkFile::Item::End;
             item = file.next())
            links += item.kind == BookmarkFile::Item::Link;
        report(timer.elapsed() / 1000.0, links);
        return 0;
    }
    if (mode == u"makebrowsers"_qs) {
        makePlaces(work + u"/places.sqlite"_qs, tree.toInt());
        makeChromiumBookmarks(work + u"/Bookmarks"_qs, tree.toInt());
        report(0, 0);
        return 0;
    }
    if (mode == u"chromiumfloor"_qs) {
        start(timer);
        std::FILE *file = std::fopen(QFile::encodeName(tree).constData(), "rb");
        if (!file)
            qFatal("cannot read %s", qPrintable(tree));
        char buffer[1 << 16];
        rapidjson::FileReadStream in(file, buffer, sizeof buffer);
        rapidjson::BaseReaderHandler<> ignore;
        rapidjson::Reader reader;
        const bool ok =
            reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag |
                         rapidjson::kParseNumbersAsStringsFlag>(in, ignore);
        std::fclose(file);
        report(timer.elapsed() / 1000.0, ok);
        return ok ? 0 : 1;
    }
    if (mode == u"places"_qs || mode == u"chromium"_qs) {
        start(timer);
        QString error;
        BookmarkTree read;
        if (!(mode == u"places"_qs ? FirefoxPlaces::read(tree, &read, &error)
                                   : ChromiumBookmarks::read(tree, &read, &error)))
            qFatal("%s", qPrintable(error));
        qint64 links = 0;
        for (BookmarkFile::Item item = read.next(); item.kind != BookmarkFile::Item::End;
             item = read.next())
            links += item.kind == BookmarkFile::Item::Link;
        report(timer.elapsed() / 1000.0, links);
        return 0;
    }
    if (mode == u"import"_qs) {
        // The imported tree stays for the floor measured after it.
        const QString base = work + u"/imported"_qs;
        removeTree(base);
        MakeHtmlProcess run;
        start(timer);
        const qint64 made = run.ImportBookmarks(tree, base);
        report(timer.elapsed() / 1000.0, made);
        return 0;
    }
    if (mode == u"restorepage"_qs) {
        const QString base = work + u"/restored"_qs;
        removeTree(base);
        MakeHtmlProcess run;
        start(timer);
        const bool ok = run.DecodeStart(tree, base);
        report(timer.elapsed() / 1000.0, ok);
        // Deeper than a path can name: rm works through the folders themselves.
        QProcess::execute(u"rm"_qs, {u"-rf"_qs, base});
        return ok ? 0 : 1;
    }
    if (mode == u"restore"_qs) {
        // The restored tree stays for the floor measured after it.
        const QString base = work + u"/restored"_qs;
        removeTree(base);
        MakeHtmlProcess run;
        start(timer);
        const bool ok = run.DecodeStart(work + u"/page-std.html"_qs, base);
        report(timer.elapsed() / 1000.0, ok);
        return ok ? 0 : 1;
    }
    // The two shipped definitions, as the command-line tool runs them: 標準 with the restore
    // block, ブックマーク without; both sorted by name.
    const bool standard = mode == u"std"_qs;
    const QString page = work + (standard ? u"/page-std.html"_qs : u"/page-nets.html"_qs);
    PlainTemplate tpl(
        standard ? QStringLiteral(VELLUMDEX_SOURCE_DIR "/Config/Default/標準.html")
                 : QStringLiteral(VELLUMDEX_SOURCE_DIR "/Config/Netscape/ブックマーク.html"));
    MakeHtmlProcess run;
    run.setInputFolder(tree);
    run.setDecodeFlag(standard);
    run.setSort(true);
    run.setSortOrder(1);
    start(timer);
    run.HtmlMake(page, tpl);
    report(timer.elapsed() / 1000.0, QFileInfo(page).size());
    return 0;
}

struct Figures
{
    double wall = 0;
    double cpu = 0;
    double seconds = 0; // the one the table shows
    long peakKiB = 0;
    qint64 bytes = 0;
};

// "--best N": each step is measured N times and its fastest run shown.
int bestOf = 1;

Figures child(const QString &mode, const QString &tree, const QString &work)
{
    Figures best;
    for (int run = 0; run < bestOf; ++run) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {u"--measure"_qs, mode, tree, work});
        p.waitForFinished(-1);
        const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
        if (p.exitCode() != 0 || f.size() != 4)
            qFatal("measurement %s failed", qPrintable(mode));
        const double wall = f[0].toDouble();
        const double cpu = f[1].toDouble();
        const Figures figures{wall, cpu,
                              qEnvironmentVariableIsSet("VELLUMDEX_BENCH_WALL") ? wall : cpu,
                              f[2].toLong(), f[3].toLongLong()};
        if (run == 0 || figures.seconds < best.seconds)
            best = figures;
    }
    return best;
}

// A restore block of a chain of depth folders, each with one shortcut, and siblings folders
// under its deepest one, each with one shortcut.
qint64 makeShapePage(const QString &path, int depth, int siblings)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const int folders = depth + siblings;
    QByteArray text =
        "<html></html>\r\n<!--\r\n[encode]\r\nFolder=" + QByteArray::number(folders) + "\r\n";
    const auto flush = [&] {
        if (text.size() > (1 << 20)) {
            f.write(text);
            text.clear();
        }
    };
    for (int i = 1; i <= folders; ++i) {
        const int parent = i <= depth ? i - 1 : depth;
        text += "ID=" + QByteArray::number(i) +
                "\r\nTitle=" + (i <= depth ? QByteArray("d") : "s" + QByteArray::number(i)) +
                "\r\nParentID=" + QByteArray::number(parent) + "\r\n";
        flush();
    }
    text += "Link=" + QByteArray::number(folders) + "\r\n";
    for (int i = 1; i <= folders; ++i) {
        text += "FileName=link\r\nParentID=" + QByteArray::number(i) +
                "\r\nFileLine=2\r\n[InternetShortcut]\r\nURL=http://example.jp/" +
                QByteArray::number(i) + "\r\n";
        flush();
    }
    text += "-->\r\n\r\n";
    f.write(text);
    return f.size();
}

int restoreShapes(int depth, int siblings, int siblingDepth)
{
    std::printf("%-34s %9s %9s %9s %10s %10s\n", "shape", "page MiB", "CPU", "limit", "peak MiB",
                "limit MiB");
    const struct
    {
        const char *name;
        int depth;
        int siblings;
    } shapes[] = {{"deep (one chain)", depth, 0},
                  {"wide (siblings under a chain)", siblingDepth, siblings}};
    for (const auto &shape : shapes) {
        QTemporaryDir dir;
        const QString page = dir.filePath(u"page.html"_qs);
        const double mib = makeShapePage(page, shape.depth, shape.siblings) / 1048576.0;
        const Figures restore = child(u"restorepage"_qs, page, dir.path());
        char label[64];
        std::snprintf(label, sizeof label, "%s %d/%d", shape.name, shape.depth, shape.siblings);
        std::printf("%-34s %9.1f %8.3fs %8.3fs %10.1f %10.1f\n", label, mib, restore.seconds,
                    5 * mib * 1.048576, restore.peakKiB / 1024.0, 64 + mib);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == u"--measure"_qs)
        return measure(args.at(2), args.at(3), args.at(4));

    if (args.size() > 1 && args.at(1) == u"--restore-shapes"_qs)
        return restoreShapes(args.size() > 2 ? args.at(2).toInt() : 5000,
                             args.size() > 3 ? args.at(3).toInt() : 100000, 100);

    if (args.size() == 5 && args.at(1) == u"--make-tree"_qs) {
        for (const TreeShape &shape : treeShapes()) {
            if (args.at(2) == QLatin1StringView(shape.name))
                shape.make(args.at(3), args.at(4).toInt());
        }
        return 0;
    }
    if (args.size() == 4 && args.at(1) == u"--bookmark-file"_qs) {
        makeBookmarkFile(args.at(2), args.at(3).toInt());
        return 0;
    }
    const bool bookmarks = args.size() > 1 && args.at(1) == u"--import"_qs;
    const bool browsers = args.size() > 1 && args.at(1) == u"--browsers"_qs;
    QList<int> sizes;
    QList<TreeShape> shapes;
    for (qsizetype i = bookmarks || browsers ? 2 : 1; i < args.size(); ++i) {
        if (args.at(i) == u"--best"_qs && i + 1 < args.size())
            bestOf = qMax(1, args.at(++i).toInt());
        else if (!takeShapeArgument(args, i, shapes))
            sizes.append(args.at(i).toInt());
    }
    if (sizes.isEmpty())
        sizes = {1000, 10000, 100000};
    if (shapes.isEmpty())
        shapes = treeShapes();
    if (browsers) {
        std::printf("%9s %12s %9s %10s %12s %9s %9s %5s %10s\n", "links", "places MiB", "read",
                    "peak MiB", "JSON MiB", "read", "floor", "x", "peak MiB");
        for (int n : sizes) {
            QTemporaryDir dir;
            const QString places = dir.filePath(u"places.sqlite"_qs);
            const QString json = dir.filePath(u"Bookmarks"_qs);
            // Made by a child too: a child's peak memory counts its parent's at its start.
            const int best = std::exchange(bestOf, 1); // made once
            child(u"makebrowsers"_qs, QString::number(n), dir.path());
            bestOf = best;
            const Figures f = child(u"places"_qs, places, dir.path());
            const Figures c = child(u"chromium"_qs, json, dir.path());
            const Figures floor = child(u"chromiumfloor"_qs, json, dir.path());
            if (f.bytes != n || c.bytes != n || floor.bytes != 1)
                qFatal("read of %d links failed", n);
            std::printf("%9d %12.1f %8.3fs %10.1f %12.1f %8.3fs %8.3fs %5.2f %10.1f\n", n,
                        QFileInfo(places).size() / 1048576.0, f.seconds, f.peakKiB / 1024.0,
                        QFileInfo(json).size() / 1048576.0, c.seconds, floor.seconds,
                        c.seconds / floor.seconds, c.peakKiB / 1024.0);
            std::fflush(stdout);
        }
        return 0;
    }
    if (bookmarks) {
        std::printf("%9s %9s %9s %9s %9s %10s\n", "links", "file MiB", "read", "import", "floor",
                    "peak MiB");
        for (int n : sizes) {
            QTemporaryDir dir;
            const QString file = dir.filePath(u"bookmarks.html"_qs);
            const qint64 size = makeBookmarkFile(file, n);
            // Each measurement starts with the writes of the one before it on disk.
            ::sync();
            const Figures read = child(u"parse"_qs, file, dir.path());
            const Figures import = child(u"import"_qs, file, dir.path());
            ::sync();
            const Figures floor =
                child(u"createfloor"_qs, dir.filePath(u"imported"_qs), dir.path());
            QDir(dir.filePath(u"imported"_qs)).removeRecursively();
            if (read.bytes != n || import.bytes != 1 || floor.bytes != n)
                qFatal("import of %d links failed", n);
            std::printf("%9d %9.1f %8.3fs %8.3fs %8.3fs %10.1f\n", n, size / 1048576.0,
                        read.seconds, import.seconds, floor.seconds,
                        std::max(read.peakKiB, import.peakKiB) / 1024.0);
            std::fflush(stdout);
        }
        return 0;
    }
    // Times in seconds; each step's ratio is to its own floor; memory limits: a conversion
    // 1 × its page + 50 MiB, a restore or an import 64 MiB.
    std::printf("%-8s %9s | %7s %7s %5s %8s %8s | %7s %7s %5s %8s %8s | %7s %7s %5s %8s | "
                "%7s %7s %5s %8s\n",
                "shape", "shortcuts", "std", "floor", "x", "page MiB", "peak MiB", "nets", "floor",
                "x", "page MiB", "peak MiB", "restore", "floor", "x", "peak MiB", "import", "floor",
                "x", "peak MiB");
    for (const TreeShape &shape : std::as_const(shapes)) {
        for (int n : sizes) {
            QTemporaryDir dir;
            const QString tree = dir.filePath(u"Favorites"_qs);
            shape.make(tree, n);
            const auto step = [&](const QString &mode, const QString &on) {
                ::sync(); // each step starts with the writes of the one before it on disk
                return child(mode, on, dir.path());
            };
            const Figures std_ = step(u"std"_qs, tree);
            const Figures nets = step(u"nets"_qs, tree);
            const Figures stdFloor = step(u"floor-std"_qs, tree);
            const Figures netsFloor = step(u"floor-nets"_qs, tree);
            const Figures restore = step(u"restore"_qs, tree);
            const Figures restoreFloor = step(u"createfloor"_qs, dir.filePath(u"restored"_qs));
            QDir(dir.filePath(u"restored"_qs)).removeRecursively();
            const Figures import = step(u"importpage"_qs, tree);
            const Figures importFloor = step(u"createfloor"_qs, dir.filePath(u"imported"_qs));
            QDir(dir.filePath(u"imported"_qs)).removeRecursively();
            if (!restore.bytes || !import.bytes || restoreFloor.bytes != n ||
                importFloor.bytes != n)
                qFatal("%s tree of %d shortcuts: restore or import failed", shape.name, n);
            const auto mib = [](double v) { return v / 1048576.0; };
            std::printf(
                "%-8s %9d | %7.3f %7.3f %5.2f %8.1f %8.1f | %7.3f %7.3f %5.2f %8.1f %8.1f | "
                "%7.3f %7.3f %5.2f %8.1f | %7.3f %7.3f %5.2f %8.1f\n",
                shape.name, n, std_.seconds, stdFloor.seconds, std_.seconds / stdFloor.seconds,
                mib(std_.bytes), std_.peakKiB / 1024.0, nets.seconds, netsFloor.seconds,
                nets.seconds / netsFloor.seconds, mib(nets.bytes), nets.peakKiB / 1024.0,
                restore.seconds, restoreFloor.seconds, restore.seconds / restoreFloor.seconds,
                restore.peakKiB / 1024.0, import.seconds, importFloor.seconds,
                import.seconds / importFloor.seconds, import.peakKiB / 1024.0);
            std::fflush(stdout);
        }
    }
    return 0;
}

// Conversion and restore figures for synthetic favorites trees of 1,000 to 100,000 shortcuts,
// with the machine's floor (reading every shortcut once, writing a file of the page's size).
// Each measurement runs in a child process so that its peak memory is its own.

#include "BenchTree.h"
#include "convert/MakeHtmlProcess.h"
#include "convert/TemplateBlocks.h"
#include "convert/cls_htmlcfg.h"
#include "startup/Cp932.h"
#include "startup/MessageSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
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

private:
    cls_htmlcfg m_cfg;
};

class QuietSink : public MessageSink
{
public:
    void information(const QString &) override {}
};

long peakKiB()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void report(double seconds, qint64 bytes)
{
    std::printf("%.3f %ld %lld\n", seconds, peakKiB(), static_cast<long long>(bytes));
}

// Child: one measurement.
int measure(const QString &mode, const QString &tree, const QString &work)
{
    QuietSink sink;
    MessageSink::install(&sink);
    const QString page = work + u"/page.html"_qs;
    QElapsedTimer timer;
    if (mode == u"floor"_qs) {
        timer.start();
        qint64 read = 0;
        QDirIterator it(tree, {u"*.url"_qs}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                read += f.readAll().size();
        }
        const qint64 size = QFileInfo(page).size();
        QFile out(work + u"/floor.html"_qs);
        out.open(QIODevice::WriteOnly);
        const QByteArray chunk(1 << 20, 'x');
        for (qint64 left = size; left > 0; left -= chunk.size())
            out.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
        out.close();
        report(timer.elapsed() / 1000.0, read);
        return 0;
    }
    if (mode == u"restore"_qs) {
        const QString base = work + u"/restored"_qs;
        QDir(base).removeRecursively();
        MakeHtmlProcess run;
        timer.start();
        const bool ok = run.DecodeStart(page, base);
        report(timer.elapsed() / 1000.0, ok);
        QDir(base).removeRecursively();
        return ok ? 0 : 1;
    }
    PlainTemplate tpl(QStringLiteral(VELLUMDEX_SOURCE_DIR "/tests/data/convert/simple.html"));
    MakeHtmlProcess run;
    run.setInputFolder(tree);
    run.setDecodeFlag(true);
    run.setSort(mode != u"unsorted"_qs);
    run.setSortOrder(mode == u"date"_qs ? 2 : 1);
    timer.start();
    run.HtmlMake(page, tpl);
    report(timer.elapsed() / 1000.0, QFileInfo(page).size());
    return 0;
}

struct Figures
{
    double seconds = 0;
    long peakKiB = 0;
    qint64 bytes = 0;
};

Figures child(const QString &mode, const QString &tree, const QString &work)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {u"--measure"_qs, mode, tree, work});
    p.waitForFinished(-1);
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() != 0 || f.size() != 3)
        qFatal("measurement %s failed", qPrintable(mode));
    return {f[0].toDouble(), f[1].toLong(), f[2].toLongLong()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == u"--measure"_qs)
        return measure(args.at(2), args.at(3), args.at(4));

    QList<int> sizes{1000, 10000, 100000};
    if (args.size() > 1) {
        sizes.clear();
        for (const QString &a : args.mid(1))
            sizes.append(a.toInt());
    }
    std::printf("%9s %9s %9s %9s %9s %9s %9s %10s %9s\n", "shortcuts", "unsorted", "by name",
                "by date", "restore", "floor", "page MiB", "peak MiB", "limit MiB");
    for (int n : sizes) {
        QTemporaryDir dir;
        const QString tree = dir.filePath(u"Favorites"_qs);
        makeTree(tree, n);
        const Figures unsorted = child(u"unsorted"_qs, tree, dir.path());
        const Figures name = child(u"name"_qs, tree, dir.path());
        const Figures date = child(u"date"_qs, tree, dir.path());
        const Figures restore = child(u"restore"_qs, tree, dir.path());
        const Figures floor = child(u"floor"_qs, tree, dir.path());
        const double pageMiB = unsorted.bytes / 1048576.0;
        const long peak = std::max({unsorted.peakKiB, name.peakKiB, date.peakKiB});
        std::printf("%9d %8.3fs %8.3fs %8.3fs %8.3fs %8.3fs %9.1f %10.1f %9.1f\n", n,
                    unsorted.seconds, name.seconds, date.seconds, restore.seconds, floor.seconds,
                    pageMiB, peak / 1024.0, 3 * pageMiB + 50);
        std::fflush(stdout);
    }
    return 0;
}

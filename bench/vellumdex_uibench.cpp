// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window against the command-line tool on the same favorites tree: a conversion
// with the restore block, then the restore of that page (one log line per shortcut). The tool
// runs as its own process with its log thrown away; the window runs here, shown, painting its
// log as it goes (and, with --every-line, painting after every line for comparison). Each
// figure is the best of three runs.
// "vellumdex-uibench [--shape flat|browser|deep|wide]... [--every-line] [shortcuts...]": the
// trees are those of vellumdex-bench, every shape unless some are named, made below TMPDIR.

#include "AppFonts.h"
#include "BenchTree.h"
#include "base/MessageSink.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "frm_MakeHtml.h"
#include "ftp/FtpConnections.h"
#include "settings/code_main.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 3;

class QuietSink : public MessageSink
{
public:
    void information(const QString &) override {}
};

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

double best(const std::function<double()> &once, const std::function<void()> &between = {})
{
    double fastest = 1e30;
    for (int i = 0; i < Rounds; ++i) {
        if (between)
            between();
        fastest = std::min(fastest, once());
    }
    return fastest;
}

double cli(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(program, arguments);
    p.waitForFinished(-1);
    const double seconds = timer.elapsed() / 1000.0;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s failed", qPrintable(arguments.join(u' ')));
    return seconds;
}

struct WindowRun
{
    double seconds = 0;
    qsizetype lines = 0;
};

WindowRun window(const std::function<bool(frm_MakeHtml &)> &action)
{
    auto *form = new frm_MakeHtml;
    form->show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    if (!action(*form))
        qFatal("the window's run failed");
    WindowRun run{timer.elapsed() / 1000.0,
                  form->findChild<QPlainTextEdit *>(u"txt_msg"_qs)->blockCount()};
    form->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return run;
}

// The offscreen platform's note about window size hints is no figure.
QtMessageHandler previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(u"propagateSizeHints"_qs) && previousHandler)
        previousHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    AppFonts::install();
    QuietSink sink;
    MessageSink::install(&sink);
    QList<int> sizes;
    QList<TreeShape> shapes;
    bool everyLine = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i) == u"--every-line"_qs) {
            everyLine = true;
        } else if (!takeShapeArgument(args, i, shapes)) {
            sizes.append(args.at(i).toInt());
        }
    }
    if (sizes.isEmpty())
        sizes = {100000};
    if (shapes.isEmpty())
        shapes = treeShapes();

    // One program folder for both: the shipped definitions beside a copy of the tool.
    QTemporaryDir dir;
    const QString program = dir.filePath(u"program"_qs);
    QDir().mkpath(program);
    copyTree(QStringLiteral(VELLUMDEX_SOURCE_DIR "/Config"), program + u"/Config"_qs);
    const QString tool = program + u"/vellumdex-cli"_qs;
    if (!QFile::copy(QStringLiteral(VELLUMDEX_BUILD_DIR "/vellumdex-cli"), tool))
        qFatal("no vellumdex-cli in the build folder");
    code_main::setProgramFolder(program);
    run::Startup({});
    cls_ConfigDatas catalogue;
    catalogue.setPath(program);
    if (catalogue.Items().isEmpty())
        qFatal("no definition");
    const std::shared_ptr<cls_ConfigData> definition = catalogue.Items().first();

    std::printf("platform %s, definition %s\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(definition->Caption()));
    std::printf("%-8s %9s | %9s %9s %6s %11s | %9s %9s %6s | %9s\n", "shape", "shortcuts",
                "cli conv", "window", "ratio", "every line", "cli rest", "window", "ratio",
                "log lines");
    for (const TreeShape &shape : std::as_const(shapes)) {
        for (int n : sizes) {
            const QString tree = dir.filePath(u"Favorites"_qs);
            QProcess::execute(u"rm"_qs, {u"-rf"_qs, tree});
            shape.make(tree, n);
            const QString page = dir.filePath(u"page.html"_qs);
            const QString restored = dir.filePath(u"restored"_qs);
            // Deeper than a path can name: rm works through the folders themselves.
            auto clean = [&] { QProcess::execute(u"rm"_qs, {u"-rf"_qs, restored}); };

            const double cliConvert = best([&] {
                return cli(tool, {u"convert"_qs, u"--input"_qs, tree, u"--output"_qs, page,
                                  u"--definition"_qs, definition->Caption(), u"--no-sort"_qs,
                                  u"--restore-block"_qs});
            });
            qsizetype convertLines = 0;
            auto windowConvert = [&](int repaintInterval) {
                return best([&] {
                    const WindowRun run = window([&](frm_MakeHtml &form) {
                        form.setRepaintInterval(repaintInterval);
                        form.setInputFolder(tree);
                        form.setDecodeFlag(true);
                        definition->Htmlcfg_Open();
                        return form.MakeHtml(page, *definition);
                    });
                    convertLines = run.lines;
                    return run.seconds;
                });
            };
            const double batched = windowConvert(frm_MakeHtml::RepaintInterval);
            // What the window would cost if it painted after every line.
            const double everyLineTime = everyLine ? windowConvert(0) : 0;
            const double cliRestore = best(
                [&] {
                    return cli(tool, {u"restore"_qs, page, restored});
                },
                clean);
            qsizetype restoreLines = 0;
            const double windowRestore = best(
                [&] {
                    const WindowRun run = window(
                        [&](frm_MakeHtml &form) { return form.DecodeStart(page, restored); });
                    restoreLines = run.lines;
                    return run.seconds;
                },
                clean);
            clean();
            std::printf(
                "%-8s %9d | %8.3fs %8.3fs %6.2f %10.3fs | %8.3fs %8.3fs %6.2f | %4lld/%lld\n",
                shape.name, n, cliConvert, batched, batched / cliConvert, everyLineTime, cliRestore,
                windowRestore, windowRestore / cliRestore, static_cast<long long>(convertLines),
                static_cast<long long>(restoreLines));
            std::fflush(stdout);
        }
    }
    MessageSink::install(nullptr);
    return 0;
}

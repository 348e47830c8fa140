// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliTool.h"

#include "base/Cp932.h"
#include "base/RunError.h"
#include "base/RunStop.h"
#include "bookmarks/BrowserProfiles.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "ftp/FtpConnections.h"
#include "ftp/cls_FtpData.h"
#include "run/MakeHtmlProcess.h"
#include "settings/code_main.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

void out(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void err(const QString &line)
{
    std::fprintf(stderr, "vellumdex-cli: %s\n", line.toLocal8Bit().constData());
}

QString setting(const QString &key, const QString &defaultValue)
{
    return code_main::SettingsIni().T_GetSetting(key, defaultValue, u"System"_qs);
}

// Parses a subcommand's options; false after printing help or an error.
bool parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
           int *status)
{
    parser.setApplicationDescription(command);
    parser.addHelpOption();
    if (!parser.parse(QStringList{u"vellumdex-cli"_qs} + arguments)) {
        err(parser.errorText());
        *status = 2;
        return false;
    }
    if (parser.isSet(u"help"_qs)) {
        out(parser.helpText());
        *status = 0;
        return false;
    }
    return true;
}

// Every log line of the run goes to stdout; *cause keeps the last one that is not part of the
// closing summary, so that a failed run can say why on stderr too.
void logLines(MakeHtmlProcess &run, QString *cause)
{
    QObject::connect(&run, &MakeHtmlProcess::logLine, &run, [cause](const QString &l) {
        out(l);
        if (!l.startsWith(u"--"_qs) && !l.startsWith(u"  "_qs))
            *cause = l;
    });
}

// Set by Ctrl+C or SIGTERM: the run ends at its next file, as the window's "中止" ends it.
std::atomic_bool interrupted = false;
static_assert(std::atomic_bool::is_always_lock_free);

void onInterrupt(int)
{
    interrupted = true;
}

// While a run lasts: the first signal stops it, a second one (the handler is then the
// default again) ends the tool at once.
class StopOnInterrupt
{
public:
    StopOnInterrupt() : m_stop(interrupted)
    {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    ~StopOnInterrupt()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }

private:
    RunStop::Scope m_stop;
};

// The exit status of a run command; a failure is named on stderr as well, and a run stopped
// by a signal ends as a program stopped so does (128 + SIGINT).
int finish(bool ok, const QString &cause)
{
    if (interrupted) {
        err(RunStop::message());
        return 128 + SIGINT;
    }
    if (ok)
        return 0;
    err(cause);
    return 1;
}

} // namespace

int CliTool::usage(int status)
{
    const QString text = uR"(usage: vellumdex-cli COMMAND [options]

commands:
  convert      convert a favorites folder into a page
  restore      rebuild favorites from a page with a restore block
  import       make favorites from a browser's bookmark file (bookmarks.html) or profile
  profiles     list the browsers' profiles found (browser, profile name, folder)
  publish      convert and upload the page and its images over a stored connection
  connections  list the stored connections (name and protocol: FTP, FTPS or SFTP)
  definitions  list the conversion definitions (index and caption)

vellumdex-cli COMMAND --help shows the options of a command.
vellumdex-cli --version shows the version and the folders in use.)"_qs;
    if (status == 0)
        out(text);
    else
        err(text);
    return status;
}

int CliTool::run(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return usage(2);
    const QString command = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (command == u"--help"_qs || command == u"-h"_qs || command == u"help"_qs)
        return usage(0);
    if (command == u"--version"_qs)
        return version();
    if (command == u"convert"_qs)
        return convert(rest);
    if (command == u"restore"_qs)
        return restore(rest);
    if (command == u"import"_qs)
        return import(rest);
    if (command == u"definitions"_qs)
        return definitions(rest);
    if (command == u"profiles"_qs)
        return profiles(rest);
    if (command == u"publish"_qs)
        return convert(rest, true);
    if (command == u"connections"_qs)
        return connections(rest);
    err(u"unknown command: "_qs + command);
    return usage(2);
}

cls_ConfigData *CliTool::chooseDefinition(cls_ConfigDatas &catalogue, const QString &caption)
{
    const auto &items = catalogue.Items();
    if (items.empty())
        return nullptr;
    for (const auto &d : items) {
        if (d->Caption() == caption)
            return d.get();
    }
    return caption.isEmpty() ? items.front().get() : nullptr;
}

int CliTool::convert(const QStringList &arguments, bool toFtp)
{
    QCommandLineParser parser;
    parser.addOptions({
        {u"input"_qs, u"Favorites folder to convert (default: the stored one)."_qs, u"DIR"_qs},
        {u"output"_qs, u"Page to write (default: the stored one)."_qs, u"FILE"_qs},
        {u"definition"_qs, u"Caption of the conversion definition."_qs, u"CAPTION"_qs},
        {u"sort"_qs, u"Sort folders and shortcuts: name or date."_qs, u"KEY"_qs},
        {u"asc"_qs, u"Ascending order."_qs},
        {u"desc"_qs, u"Descending order."_qs},
        {u"no-sort"_qs, u"Keep the order of the folder listing."_qs},
        {u"restore-block"_qs, u"Append the restore block."_qs},
        {u"no-restore-block"_qs, u"Leave the restore block out."_qs},
    });
    if (toFtp) {
        parser.addOptions({
            {u"connection"_qs, u"Name of the stored FTP connection (required)."_qs, u"NAME"_qs},
            {u"remote-name"_qs, u"File name on the server (default: the stored one)."_qs,
             u"FILE"_qs},
            {u"accept-new-host-key"_qs,
             u"SFTP: trust a server whose host key ~/.ssh/known_hosts does not hold yet, and "
             "add the key there. A changed key is always refused."_qs},
        });
    }
    int status = 0;
    if (!parse(parser,
               toFtp ? u"Convert a favorites folder and upload the page over FTP, FTPS or SFTP."_qs
                     : u"Convert a favorites folder into one HTML page."_qs,
               arguments, &status))
        return status;
    QSharedPointer<cls_FtpData> connection;
    if (toFtp) {
        const QString name = parser.value(u"connection"_qs);
        for (const auto &c : run::FtpConnections()) {
            if (c->ViewName() == name && !name.isEmpty()) {
                connection = c;
                break;
            }
        }
        if (!connection) {
            err(name.isEmpty() ? u"publish needs --connection NAME"_qs
                               : u"no stored connection named "_qs + name);
            return 2;
        }
    }

    const QString input = parser.isSet(u"input"_qs)
                              ? QFileInfo(parser.value(u"input"_qs)).absoluteFilePath()
                              : setting(u"InputFolder"_qs, code_main::GetFavoritesFolder());
    const QString output =
        parser.isSet(u"output"_qs)
            ? QFileInfo(parser.value(u"output"_qs)).absoluteFilePath()
            : setting(u"SaveFile"_qs, code_main::DefaultOutputFolder() + u"/Favorites.html"_qs);
    bool sort = setting(u"Sort"_qs, u"0"_qs) == u"1"_qs;
    int order = setting(u"Order"_qs, u"0"_qs) == u"1"_qs ? 2 : 1;
    bool desc = setting(u"DESC"_qs, u"0"_qs) == u"1"_qs;
    bool decode = setting(u"Decode"_qs, u"0"_qs) == u"1"_qs;
    if (parser.isSet(u"sort"_qs)) {
        const QString key = parser.value(u"sort"_qs);
        if (key != u"name"_qs && key != u"date"_qs) {
            err(u"--sort takes name or date"_qs);
            return 2;
        }
        sort = true;
        order = key == u"date"_qs ? 2 : 1;
    }
    if (parser.isSet(u"no-sort"_qs))
        sort = false;
    if (parser.isSet(u"asc"_qs))
        desc = false;
    if (parser.isSet(u"desc"_qs))
        desc = true;
    if (parser.isSet(u"restore-block"_qs))
        decode = true;
    if (parser.isSet(u"no-restore-block"_qs))
        decode = false;
    // Nothing is read from a folder the user did not name, nor written to a page path that
    // cannot hold a page.
    if (input.isEmpty()) {
        err(u"変換元のフォルダが指定されていません（--input で指定してください）"_qs);
        return 2;
    }
    QString problem = MakeHtmlProcess::inputFolderProblem(input);
    if (problem.isEmpty() && !toFtp)
        problem = MakeHtmlProcess::outputFileProblem(output);
    if (!problem.isEmpty()) {
        err(problem);
        return 1;
    }

    cls_ConfigDatas catalogue;
    catalogue.setPaths(code_main::DefinitionFolders());
    const QString caption = parser.isSet(u"definition"_qs) ? parser.value(u"definition"_qs)
                                                           : setting(u"ConfigFile"_qs, QString());
    cls_ConfigData *definition = chooseDefinition(catalogue, caption);
    if (!definition && !parser.isSet(u"definition"_qs))
        definition = chooseDefinition(catalogue, QString());
    if (!definition) {
        err(caption.isEmpty() ? u"no conversion definition found"_qs
                              : u"no conversion definition named "_qs + caption);
        return 2;
    }

    const QString remote = !toFtp ? QString()
                           : parser.isSet(u"remote-name"_qs)
                               ? parser.value(u"remote-name"_qs)
                               : setting(u"FTPSaveFile"_qs, u"Favorites.html"_qs);
    // An FTP server receives the name in code page 932: one it cannot carry is refused, never
    // sent with "?" in its place.
    if (toFtp && connection->FtpProtocol() != cls_FtpData::Protocol::Sftp &&
        !Cp932::canHold(remote)) {
        err(u"ＦＴＰサーバーに送れない文字がファイル名に含まれています ["_qs + remote + u"]"_qs);
        return 2;
    }

    try {
        definition->Htmlcfg_Open();
    } catch (const RunError &e) {
        err(e.message());
        return 1;
    }
    const StopOnInterrupt stop;
    MakeHtmlProcess run;
    QString cause;
    logLines(run, &cause);
    run.setInputFolder(input);
    run.setSort(sort);
    run.setSortOrder(order);
    run.setSortDESC(desc);
    run.setDecodeFlag(decode);
    if (toFtp) {
        const bool acceptNew = parser.isSet(u"accept-new-host-key"_qs);
        run.setHostKeyQuestion([acceptNew](const basftpservice::HostKey &key) {
            if (!acceptNew) {
                err(u"the host key of "_qs + key.host + u" ("_qs + key.KindName() + u' ' +
                    key.Fingerprint() + u") is not in "_qs + basftpservice::KnownHostsFile() +
                    u"; if it is the server's, run again with --accept-new-host-key"_qs);
                return false;
            }
            out(u"ホスト鍵を登録します: "_qs + key.host + u' ' + key.KindName() + u' ' +
                key.Fingerprint());
            return true;
        });
        return finish(run.SendFtp(*definition, *connection, remote), cause);
    }
    return finish(run.MakeHtml(output, *definition), cause);
}

int CliTool::restore(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(u"PAGE"_qs, u"Page with a restore block."_qs);
    parser.addPositionalArgument(u"TARGET_DIR"_qs, u"Folder to restore into."_qs);
    int status = 0;
    if (!parse(parser, u"Rebuild favorites from a page."_qs, arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 2) {
        err(u"restore takes PAGE and TARGET_DIR"_qs);
        return 2;
    }
    const StopOnInterrupt stop;
    MakeHtmlProcess run;
    QString cause;
    logLines(run, &cause);
    const QStringList p = parser.positionalArguments();
    return finish(run.DecodeStart(QFileInfo(p.at(0)).absoluteFilePath(),
                                  QFileInfo(p.at(1)).absoluteFilePath()),
                  cause);
}

int CliTool::import(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QString browsers = BrowserProfiles::names().join(u'|');
    parser.addOptions({
        {u"from"_qs, u"Read the default profile of a browser: "_qs + browsers + u'.',
         u"BROWSER"_qs},
        {u"profile"_qs, u"Read this profile folder, places.sqlite or Bookmarks file."_qs,
         u"PATH"_qs},
    });
    parser.addPositionalArgument(u"BOOKMARKS"_qs,
                                 u"Bookmark file exported by a browser (not with --from or "
                                 "--profile)."_qs);
    parser.addPositionalArgument(u"TARGET_DIR"_qs, u"Folder to make the favorites in."_qs);
    int status = 0;
    if (!parse(parser, u"Make favorites from a bookmark file or a browser's profile."_qs, arguments,
               &status))
        return status;
    const QString browser = parser.value(u"from"_qs);
    const bool fromProfile = parser.isSet(u"from"_qs) || parser.isSet(u"profile"_qs);
    const QStringList p = parser.positionalArguments();
    if (!browser.isEmpty() && !BrowserProfiles::names().contains(browser)) {
        err(u"--from takes "_qs + browsers);
        return 2;
    }
    if (p.size() != (fromProfile ? 1 : 2)) {
        err(fromProfile ? u"import --from/--profile takes TARGET_DIR"_qs
                        : u"import takes BOOKMARKS and TARGET_DIR"_qs);
        return 2;
    }
    QString file = fromProfile ? QString() : QFileInfo(p.at(0)).absoluteFilePath();
    if (fromProfile) {
        QString error;
        file = parser.isSet(u"profile"_qs)
                   ? BrowserProfiles::bookmarksIn(parser.value(u"profile"_qs), browser, &error)
                   : BrowserProfiles::defaultBookmarks(browser, &error);
        if (file.isEmpty()) {
            err(error);
            return 1;
        }
    }
    const StopOnInterrupt stop;
    MakeHtmlProcess run;
    QString cause;
    logLines(run, &cause);
    return finish(run.ImportBookmarks(file, QFileInfo(p.last()).absoluteFilePath()), cause);
}

int CliTool::profiles(const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = 0;
    if (!parse(parser,
               u"List the browsers' profiles: browser, profile name and folder, each browser's "
               "default first."_qs,
               arguments, &status))
        return status;
    for (const BrowserProfiles::Profile &profile : BrowserProfiles::find())
        out(profile.browser + u'\t' + profile.name + u'\t' + profile.path);
    return 0;
}

int CliTool::definitions(const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = 0;
    if (!parse(parser, u"List the conversion definitions."_qs, arguments, &status))
        return status;
    cls_ConfigDatas catalogue;
    catalogue.setPaths(code_main::DefinitionFolders());
    for (const auto &d : catalogue.Items())
        out(QString::number(d->Index()) + u'\t' + d->Caption());
    return 0;
}

int CliTool::version()
{
    out(u"vellumdex-cli "_qs + code_main::GetVersionText(u"Ver."_qs) + u" ("_qs +
        QStringLiteral(VELLUMDEX_VERSION_TEXT) + u')');
    out(u"設定フォルダ: "_qs + code_main::SettingsFolder());
    for (const QString &folder : code_main::DefinitionFolders())
        out(u"定義フォルダ: "_qs + folder);
    return 0;
}

int CliTool::connections(const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = 0;
    if (!parse(parser, u"List the stored connections with their protocol."_qs, arguments, &status))
        return status;
    for (const auto &c : run::FtpConnections())
        out(c->ViewName() + u'\t' + cls_FtpData::ProtocolName(c->FtpProtocol()));
    return 0;
}

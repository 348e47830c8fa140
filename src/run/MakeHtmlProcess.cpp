// SPDX-License-Identifier: GPL-3.0-or-later
#include "MakeHtmlProcess.h"

#include "base/CheckedFile.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "base/RunStop.h"
#include "base/SystemError.h"
#include "bookmarks/BookmarkFile.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ImageData.h"
#include "ftp/cls_FtpData.h"
#include "page/TemplateBlocks.h"
#include "page/cls_FolderEvents.h"
#include "page/cls_folder.h"
#include "restore/BookmarkImport.h"
#include "restore/FavoritesRestore.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <functional>
#include <cerrno>
#include <unistd.h>

namespace {

const QString Rule = u"----------------------------"_qs;

class PageWriter
{
public:
    PageWriter(QIODevice &out, const QString &path, bool utf8)
        : m_out(out), m_path(path), m_utf8(utf8)
    {
        m_bytes.reserve(2 * Piece);
    }
    // The page's bytes go out in pieces of 64 KiB: never held whole, and not a write for
    // every line. finish() writes the last piece; every write is checked.
    void write(QStringView text)
    {
        if (m_utf8)
            m_bytes += text.toUtf8();
        else
            Cp932::append(m_bytes, text);
        if (m_bytes.size() >= Piece)
            flush();
    }
    void finish() { flush(); }
    void setUtf8(bool on) { m_utf8 = on; }

private:
    static constexpr qsizetype Piece = 64 * 1024;

    void flush()
    {
        RunStop::check();
        if (!m_bytes.isEmpty() && m_out.write(m_bytes) != m_bytes.size())
            throw RunError(u"ファイルを書き込めません ["_qs + m_path + u"] "_qs +
                           m_out.errorString());
        m_bytes.resize(0);
    }

    QByteArray m_bytes;
    QIODevice &m_out;
    QString m_path;
    bool m_utf8;
};

// A definition names its page's encoding in a block "Encoding" of its own; the Windows program
// knows no such block, and a definition without it is written in code page 932 as ever.
bool declaresUtf8(const TemplateBlocks &blocks)
{
    const QString declared = blocks.Htmlcfg_GetSetting(u"Encoding"_qs).trimmed();
    const auto any = [&declared](std::initializer_list<QStringView> names) {
        for (const QStringView n : names) {
            if (declared.compare(n, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    };
    if (any({u"UTF-8", u"UTF8"}))
        return true;
    if (declared.isEmpty() || any({u"Shift_JIS", u"windows-31j", u"cp932"}))
        return false;
    throw RunError(u"定義の文字コードが分かりません ["_qs + declared + u"]"_qs);
}

// A bookmark file, as a browser exports it or as the Netscape definition writes it, that
// carries no restore block: a page with the block is restored from the block.
bool isBookmarkFileWithoutBlock(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !BookmarkFile::looksLikeBookmarkFile(file.read(4096)))
        return false;
    file.seek(0);
    // Line by line: a page of any size is never held whole.
    while (!file.atEnd()) {
        QByteArray chunk = file.readLine();
        if (chunk.endsWith('\n'))
            chunk.chop(chunk.endsWith("\r\n") ? 2 : 1);
        const QList<QByteArray> lines = chunk.split('\r'); // a lone CR ends a line too
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i) == "[encode]")
                return i == lines.size() - 1 && file.atEnd();
        }
    }
    return true;
}

} // namespace

QString MakeHtmlProcess::inputFolderProblem(const QString &folder)
{
    if (folder.trimmed().isEmpty())
        return u"変換元のフォルダが指定されていません"_qs;
    const QFileInfo info(folder);
    if (info.isRelative())
        return u"変換元のフォルダは絶対パスで指定してください ["_qs + folder + u"]"_qs;
    if (!info.exists())
        return u"変換元のフォルダが見つかりません ["_qs + folder + u"]"_qs;
    if (!info.isDir())
        return u"変換元に指定されたものはフォルダではありません ["_qs + folder + u"]"_qs;
    if (::access(QFile::encodeName(folder).constData(), R_OK | X_OK) != 0)
        return u"変換元のフォルダを読み込めません ["_qs + folder + u"] "_qs +
               SystemError::text(errno);
    return QString();
}

QString MakeHtmlProcess::outputFileProblem(const QString &file)
{
    if (file.trimmed().isEmpty())
        return u"出力ファイルが指定されていません"_qs;
    const QFileInfo info(file);
    if (info.isRelative())
        return u"出力ファイルは絶対パスで指定してください ["_qs + file + u"]"_qs;
    if (info.isDir() || file.endsWith(u'/'))
        return u"出力ファイルにフォルダが指定されています ["_qs + file + u"]"_qs;
    if (!QFileInfo(info.path()).isDir())
        return u"出力先のフォルダが見つかりません ["_qs + info.path() + u"]"_qs;
    return QString();
}

void MakeHtmlProcess::logSummary(const QString &text)
{
    AddLog(Rule);
    AddLog(text);
    AddLog(Rule);
}

void MakeHtmlProcess::HtmlMake(const QString &SaveFile, TemplateBlocks &ConfigData,
                               CheckedFile::Permissions permissions)
{
    // Never written through to the page: a failed run leaves the previous one as it was.
    CheckedFile file(SaveFile, CheckedFile::Mode::Replace, permissions);
    if (!file.open())
        throw RunError(u"出力ファイルを作成できません ["_qs + SaveFile + u"] "_qs +
                       file.errorString());
    writePage(file, SaveFile, ConfigData);
    if (!file.commit())
        throw RunError(u"ファイルを書き込めません ["_qs + SaveFile + u"] "_qs + file.errorString());
}

namespace {

// What the tree's reading reports while a run lasts (a file skipped, a folder read twice) is a
// line of the run's log, never a message box from the run's thread.
class RunLogSink : public MessageSink
{
public:
    explicit RunLogSink(std::function<void(const QString &)> log) : m_log(std::move(log)) {}
    void information(const QString &text) override
    {
        m_log(text.split(u"\r\n"_qs, Qt::SkipEmptyParts).join(u' '));
    }

private:
    std::function<void(const QString &)> m_log;
};

} // namespace

void MakeHtmlProcess::writePage(QIODevice &out, const QString &path, TemplateBlocks &ConfigData)
{
    RunLogSink sink([this](const QString &line) { AddLog(line); });
    const MessageSink::ThreadScope toLog(&sink);
    QStringList parameters(10);
    cls_FolderEvents events;
    qint64 converted = 0;
    qint64 folderTotal = 0;
    connect(&events, &cls_FolderEvents::GetData, this,
            [this](const QString &m) { AddLog(u"フォルダ情報読み出し ["_qs + m + u"]"_qs); });
    connect(&events, &cls_FolderEvents::GetHtmlCode, this, [&](const QString &m) {
        AddLog(u"データ変換中 ["_qs + m + u"]"_qs);
        emit progress(++converted, folderTotal);
    });

    const bool utf8 = declaresUtf8(ConfigData);
    ConfigData.setPageUtf8(utf8);
    emit progress(0, 0);
    cls_folder top;
    top.setFolderEvCls(&events);
    top.setHtmlConfig(&ConfigData);
    int idKey = 1;
    top.GetData(m_inputFolder, nullptr, m_sort, m_sortOrder, m_sortDesc, idKey);
    top.setTopFlag(true);
    folderTotal = qMax(1, idKey - 1);

    PageWriter page(out, path, utf8);
    parameters[0] = top.CloseCode();
    parameters[1] = top.AllCloseCode();
    parameters[2] = top.OpenCode();
    ConfigData.Htmlcfg_SetParameter(parameters);
    page.write(ConfigData.Htmlcfg_GetSetting(u"Header"_qs) + u"\r\n"_qs);
    top.HtmlCode(QString(), [&page](const QString &piece) { page.write(piece); });
    page.write(u"\r\n");
    // The footer takes no parameters of its own: hand it none rather than the last block's.
    ConfigData.Htmlcfg_SetParameter(QStringList(10));
    page.write(ConfigData.Htmlcfg_GetSetting(u"Footer"_qs) + u"\r\n"_qs);

    if (m_decodeFlag) {
        AddLog(u"復元情報を作成しています"_qs);
        // The block is code page 932 in every page: the restore, here and on Windows, reads it so.
        page.setUtf8(false);
        page.write(u"<!--\r\n[encode]\r\nFolder="_qs + QString::number(top.ID()) + u"\r\n"_qs);
        QString records;
        top.appendFolderCode(records);
        page.write(records);
        records.clear();
        page.write(u"Link="_qs + QString::number(top.LinkCount()) + u"\r\n"_qs);
        const auto drain = [&page](QString &text) {
            if (text.size() >= 64 * 1024) {
                page.write(text);
                text.resize(0);
            }
        };
        top.appendLinkCode(records, drain);
        // Names, bytes and dates the records alone do not give back, after the last record,
        // where the Windows program's reader no longer looks.
        top.appendExactCode(records, drain);
        page.write(records);
        page.write(u"-->\r\n\r\n"_qs);
        AddLog(u"復元情報を作成しました"_qs);
    }
    page.finish();
}

bool MakeHtmlProcess::DecodeStart(const QString &LoadFile, const QString &BasePath)
{
    if (const QString cause = SystemError::plainFileCause(LoadFile); !cause.isEmpty()) {
        AddLog(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"] "_qs + cause);
        logSummary(u"  復元に失敗しました。"_qs);
        return false;
    }
    if (BookmarkImport::sourceOf(LoadFile) != BookmarkImport::Source::BookmarkFile ||
        isBookmarkFileWithoutBlock(LoadFile))
        return ImportBookmarks(LoadFile, BasePath);
    FavoritesRestore restore;
    connect(&restore, &FavoritesRestore::logLine, this, &MakeHtmlProcess::logLine);
    connect(&restore, &FavoritesRestore::progress, this, &MakeHtmlProcess::progress);
    emit progress(0, 0);
    const bool ok = restore.DecodeFile(LoadFile, BasePath);
    logSummary(ok                     ? u"  お気に入りを復元しました"_qs
               : RunStop::requested() ? u"  復元を中止しました。"_qs
                                      : u"  復元に失敗しました。"_qs);
    return ok;
}

bool MakeHtmlProcess::ImportBookmarks(const QString &LoadFile, const QString &BasePath)
{
    BookmarkImport import;
    connect(&import, &BookmarkImport::logLine, this, &MakeHtmlProcess::logLine);
    connect(&import, &BookmarkImport::progress, this, &MakeHtmlProcess::progress);
    emit progress(0, 0);
    const bool ok = import.ImportFile(LoadFile, BasePath);
    // The counts close the log: after thousands of lines they are what the user looks for.
    AddLog(Rule);
    AddLog(ok                     ? u"  お気に入りをインポートしました。"_qs
           : RunStop::requested() ? u"  インポートを中止しました。"_qs
                                  : u"  インポートに失敗しました。"_qs);
    AddLog(u"  フォルダ "_qs + QString::number(import.folderCount()) + u"、リンク "_qs +
           QString::number(import.linkCount()));
    AddLog(Rule);
    return ok;
}

bool MakeHtmlProcess::MakeHtml(const QString &SaveFile, cls_ConfigData &ConfigData)
{
    bool ok = true;
    try {
        if (const QString problem = inputFolderProblem(m_inputFolder); !problem.isEmpty())
            throw RunError(problem);
        HtmlMake(SaveFile, ConfigData);
        ConfigData.Htmlcfg_Close();
        AddLog(u"ページを書き込みました ["_qs + SaveFile + u"]"_qs);
        const qsizetype slash = SaveFile.lastIndexOf(u'/');
        const QString folder = slash < 0 ? QString() : SaveFile.left(slash + 1);
        ConfigData.ImageFileCopy(folder);
        for (const auto &image : ConfigData.ReplacedImages())
            AddLog(u"画像を書き込みました ["_qs + folder + image->CopyFileName() + u"]"_qs);
    } catch (const RunError &e) {
        ConfigData.Htmlcfg_Close();
        AddLog(e.message());
        ok = false;
    }
    logSummary(ok                     ? u"  変換が終了しました。"_qs
               : RunStop::requested() ? u"  変換を中止しました。"_qs
                                      : u"  変換に失敗しました。"_qs);
    return ok;
}

bool MakeHtmlProcess::SendFtp(cls_ConfigData &ConfigData, cls_FtpData &FtpObj,
                              const QString &SendFileName)
{
    const QMetaObject::Connection started =
        connect(&FtpObj, &cls_FtpData::SendStart, this, [this, &FtpObj](const QString &f) {
            // The name as it goes out: an FTP server receives it in code page 932, an SFTP
            // server in UTF-8.
            const bool sftp = FtpObj.FtpProtocol() == cls_FtpData::Protocol::Sftp;
            AddLog(u"転送開始 ["_qs + (sftp ? f : Cp932::roundTrip(f)) + u"]"_qs);
            // How long the server takes is not known: busy until the transfer ends.
            emit progress(0, 0);
        });
    const QMetaObject::Connection ended =
        connect(&FtpObj, &cls_FtpData::SendEnd, this, [this] { AddLog(u"○転送成功"_qs); });
    // The cause follows on the same line; a warning of several lines goes on below it.
    const QMetaObject::Connection failed =
        connect(&FtpObj, &cls_FtpData::SendError, this, [this, &FtpObj] {
            const QStringList cause = FtpObj.LastError().split(u'\n');
            AddLog(u"×転送失敗："_qs + cause.first());
            for (qsizetype i = 1; i < cause.size(); ++i)
                AddLog(u"  "_qs + cause.at(i));
        });
    const QMetaObject::Connection noted =
        connect(&FtpObj, &cls_FtpData::SendNote, this, [this](const QString &l) { AddLog(l); });
    FtpObj.setHostKeyQuestion(m_hostKeyQuestion);

    bool pageSent = false;
    bool imagesSent = false;
    // The page on its way to the server, readable by its owner only, under a name the next
    // run recognises should this one be killed (held locked until then); removed when this
    // ends, sent or not.
    const QString temp = CheckedFile::temporaryName(QDir::tempPath());
    const auto removeTemp = qScopeGuard([&temp] { CheckedFile::releaseTemporary(temp); });
    // One login for the page and its images.
    FtpObj.OpenSession();
    const auto closeSession = qScopeGuard([&FtpObj] { FtpObj.CloseSession(); });
    try {
        if (const QString problem = inputFolderProblem(m_inputFolder); !problem.isEmpty())
            throw RunError(problem);
        HtmlMake(temp, ConfigData, CheckedFile::Permissions::OwnerOnlyAlways);
        ConfigData.Htmlcfg_Close();
        // The images first and the page last: a visitor never gets the new page without its
        // images. A server that can take nothing more ends the publication at once; a
        // transfer under way is never cut: a stop comes before the next file.
        RunStop::check();
        imagesSent = ConfigData.SendFtp([&FtpObj](const QString &file, const QString &name) {
            return !FtpObj.SessionEnded() && !RunStop::requested() &&
                   FtpObj.FtpPut_Binary(file, name);
        });
        if (imagesSent && !RunStop::requested())
            pageSent = FtpObj.FtpPut_Text(temp, SendFileName);
        else if (RunStop::requested())
            AddLog(RunStop::message());
        else if (!FtpObj.SessionEnded())
            AddLog(u"画像を転送できなかったため、ページは転送しませんでした（サーバーのページは"
                   "元のままです）"_qs);
    } catch (const RunError &e) {
        ConfigData.Htmlcfg_Close();
        AddLog(e.message());
    }
    disconnect(started);
    disconnect(ended);
    disconnect(failed);
    disconnect(noted);
    FtpObj.setHostKeyQuestion(nullptr);
    const bool ok = pageSent && imagesSent;
    logSummary(ok                     ? u"  ファイルを転送しました。"_qs
               : RunStop::requested() ? u"  転送を中止しました。"_qs
                                      : u"  転送に失敗しました。"_qs);
    return ok;
}

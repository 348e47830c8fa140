#include "MakeHtmlProcess.h"

#include "base/CheckedFile.h"
#include "base/Cp932.h"
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

#include <cerrno>
#include <unistd.h>

namespace {

const QString Rule = u"----------------------------"_qs;

class PageWriter
{
public:
    PageWriter(QIODevice &out, const QString &path) : m_out(out), m_path(path)
    {
        m_bytes.reserve(2 * Piece);
    }
    // The page's bytes go out in pieces of 64 KiB: never held whole, and not a write for
    // every line. finish() writes the last piece; every write is checked.
    void write(QStringView text)
    {
        Cp932::append(m_bytes, text);
        if (m_bytes.size() >= Piece)
            flush();
    }
    void finish() { flush(); }

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
};

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

void MakeHtmlProcess::HtmlMake(const QString &SaveFile, TemplateBlocks &ConfigData)
{
    // Never written through to the page: a failed run leaves the previous one as it was.
    CheckedFile file(SaveFile);
    if (!file.open())
        throw RunError(u"出力ファイルを作成できません ["_qs + SaveFile + u"] "_qs +
                       file.errorString());
    writePage(file, SaveFile, ConfigData);
    if (!file.commit())
        throw RunError(u"ファイルを書き込めません ["_qs + SaveFile + u"] "_qs + file.errorString());
}

void MakeHtmlProcess::writePage(QIODevice &out, const QString &path, TemplateBlocks &ConfigData)
{
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

    emit progress(0, 0);
    cls_folder top;
    top.setFolderEvCls(&events);
    top.setHtmlConfig(&ConfigData);
    int idKey = 1;
    top.GetData(m_inputFolder, nullptr, m_sort, m_sortOrder, m_sortDesc, idKey);
    top.setTopFlag(true);
    folderTotal = qMax(1, idKey - 1);

    PageWriter page(out, path);
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
    FtpObj.setHostKeyQuestion(m_hostKeyQuestion);

    bool pageSent = false;
    bool imagesSent = false;
    // The page on its way to the server, under a name the next run recognises should this one
    // be killed; removed when this ends, sent or not.
    const QString temp = CheckedFile::temporaryName(QDir::tempPath());
    const auto removeTemp = qScopeGuard([&temp] { QFile::remove(temp); });
    try {
        if (const QString problem = inputFolderProblem(m_inputFolder); !problem.isEmpty())
            throw RunError(problem);
        HtmlMake(temp, ConfigData);
        ConfigData.Htmlcfg_Close();
        // A transfer under way is never cut: the run stops before the next file.
        RunStop::check();
        pageSent = FtpObj.FtpPut_Text(temp, SendFileName);
        imagesSent = ConfigData.SendFtp([&FtpObj](const QString &file, const QString &name) {
            return !RunStop::requested() && FtpObj.FtpPut_Binary(file, name);
        });
        if (RunStop::requested() && !(pageSent && imagesSent))
            AddLog(RunStop::message());
    } catch (const RunError &e) {
        ConfigData.Htmlcfg_Close();
        AddLog(e.message());
    }
    disconnect(started);
    disconnect(ended);
    disconnect(failed);
    FtpObj.setHostKeyQuestion(nullptr);
    const bool ok = pageSent && imagesSent;
    logSummary(ok                     ? u"  ファイルを転送しました。"_qs
               : RunStop::requested() ? u"  転送を中止しました。"_qs
                                      : u"  転送に失敗しました。"_qs);
    return ok;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/CheckedFile.h"
#include "ftp/cls_FtpData.h"

#include <QObject>
#include <QString>

class TemplateBlocks;
class cls_ConfigData;
class QIODevice;

// One action of the processing window: a conversion to a file, a conversion sent over FTP, or
// a restore. It knows nothing of windows: every log line leaves through logLine, and the
// answer of each action says whether it succeeded.
class MakeHtmlProcess : public QObject
{
    Q_OBJECT

public:
    void setSort(bool on) { m_sort = on; }
    void setSortOrder(int order) { m_sortOrder = order; }
    void setSortDESC(bool desc) { m_sortDesc = desc; }
    void setInputFolder(const QString &folder) { m_inputFolder = folder; }
    void setDecodeFlag(bool on) { m_decodeFlag = on; }
    // Asked, on the thread the run is on, whether to trust an SFTP server's host key that
    // known_hosts does not hold; without one such a server is refused.
    void setHostKeyQuestion(cls_FtpData::HostKeyQuestion question)
    {
        m_hostKeyQuestion = std::move(question);
    }

    // ConfigData must be open (Htmlcfg_Open); these close it.
    bool MakeHtml(const QString &SaveFile, cls_ConfigData &ConfigData);
    bool SendFtp(cls_ConfigData &ConfigData, cls_FtpData &FtpObj, const QString &SendFileName);
    // A page without a restore block that is a browser's bookmark file is imported instead, and
    // so are a browser's own bookmarks (places.sqlite, Bookmarks).
    bool DecodeStart(const QString &LoadFile, const QString &BasePath);
    // Makes a Favorites tree from a bookmark file or a browser's bookmarks, with the closing
    // lines of a restore.
    bool ImportBookmarks(const QString &LoadFile, const QString &BasePath);

    // What keeps a folder or a page path from being used, in a line for the user; empty when
    // none. A run never reads a folder the user did not name: an empty one is refused too,
    // here and by the conversions themselves.
    static QString inputFolderProblem(const QString &folder);
    static QString outputFileProblem(const QString &file);

    // Writes the page to SaveFile: a temporary file beside it replaces it only once the whole
    // page is written. Throws RunError naming the cause.
    void HtmlMake(const QString &SaveFile, TemplateBlocks &ConfigData,
                  CheckedFile::Permissions permissions = CheckedFile::Permissions::Default);

signals:
    void logLine(const QString &line);
    // maximum 0: busy, no count known yet.
    void progress(qint64 value, qint64 maximum);

private:
    void AddLog(const QString &text) { emit logLine(text); }
    void logSummary(const QString &text);
    void writePage(QIODevice &out, const QString &path, TemplateBlocks &ConfigData);

    bool m_sort = false;
    int m_sortOrder = 1;
    bool m_sortDesc = false;
    QString m_inputFolder;
    bool m_decodeFlag = false;
    cls_FtpData::HostKeyQuestion m_hostKeyQuestion;
};

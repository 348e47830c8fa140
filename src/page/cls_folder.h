// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cls_URL.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class cls_FolderEvents;
class TemplateBlocks;

// One folder of the favorites tree. Reading the top folder reads the whole tree; folders that
// hold no shortcut anywhere below them are left out, the rest are numbered after their
// subfolders (post-order), so the top folder, when kept, has the highest number.
class cls_folder
{
public:
    cls_folder() = default;
    cls_folder(const cls_folder &) = delete;
    cls_folder &operator=(const cls_folder &) = delete;

    int ID() const { return m_id; }
    void setID(int id) { m_id = id; }
    void setTopFlag(bool top) { m_topFlag = top; }
    void setFolderEvCls(cls_FolderEvents *events) { m_events = events; }
    void setHtmlConfig(TemplateBlocks *config) { m_config = config; }

    qint64 LinkCount() const;
    QString EncodeLinkCode() const;
    QString EncodeFolderCode() const;
    // The exact part of the restore block after the last link record: "[exact]", one line
    // per folder record and one per link record, in the records' order.
    void appendExactCode(QString &out, const std::function<void(QString &)> &drain = {}) const;
    QString OpenCode() const;
    QString AllCloseCode() const;
    QString CloseCode() const;
    QString HtmlCode(const QString &TopSpace) const;
    // The most characters a folder's block may come to when it is built whole (a "Folder"
    // block that holds the content more than once doubles with each level): beyond it, the
    // page would pass 2 GiB and the run is refused.
    static constexpr qsizetype MaxBlockChars = qsizetype(1) << 31;
    // The characters HtmlCode would give, up to 2^40, without building them.
    qint64 predictedChars(const QString &TopSpace) const;
    // The same text handed to out in pieces (the top folder's links and subfolders one by
    // one), so that a page is written without being held whole.
    void HtmlCode(const QString &TopSpace, const std::function<void(const QString &)> &out) const;
    // Throws RunError when a folder, a shortcut or a date cannot be read.
    bool GetData(QString Path, cls_folder *TopFolder, bool SortFlag, int Order, bool DESC,
                 int &IDKey);

    // The same records appended to a text, for pages too large to build in pieces.
    void appendFolderCode(QString &out) const;
    // drain, when given, is called after each folder's records, so that a caller can write
    // them out and keep the text short.
    void appendLinkCode(QString &out, const std::function<void(QString &)> &drain = {}) const;

    QString title() const { return m_title; }
    qint64 Modified() const { return m_modified; }
    QString MenuName() const { return u"Menu"_qs + QString::number(m_id); }
    const std::vector<std::unique_ptr<cls_folder>> &subfolders() const { return m_subfolders; }
    const std::vector<std::unique_ptr<cls_URL>> &links() const { return m_links; }

private:
    struct Walk;  // what one reading of a tree shares: the real folders already visited
    struct Icons; // the tree's icon folder and the icons read from it
    // The link block's further attributes: its dates and icon as a bookmark file has them.
    QString LinkAttributes(const cls_URL &link, const cls_URL::Bookmark &bookmark) const;
    // path names the folder; it is opened as name below the folder open as parentFd, or by
    // path when parentFd is -1.
    bool read(const QByteArray &path, const QByteArray &name, int parentFd, cls_folder *TopFolder,
              bool SortFlag, int Order, bool DESC, int &IDKey, Walk &walk);
    void appendExactFolders(QString &out) const;
    void appendExactLinks(QString &out, const std::function<void(QString &)> &drain) const;
    // The links' blocks, then each subfolder's markup, in page order.
    void ContentCode(const QString &TopSpace,
                     const std::function<void(const QString &)> &out) const;
    void SetFolderParameters(const QString &TopSpace, const QString &content) const;
    void appendOpenCode(QString &out) const;
    void appendCloseCode(QString &out) const;
    void appendAllCloseCode(QString &out) const;

    cls_FolderEvents *m_events = nullptr;
    TemplateBlocks *m_config = nullptr;
    QString m_title;
    QByteArray m_name; // the folder's own name as the file system holds it
    qint64 m_modified = 0;
    std::vector<std::unique_ptr<cls_URL>> m_links;
    std::vector<std::unique_ptr<cls_folder>> m_subfolders;
    cls_folder *m_parent = nullptr;
    std::shared_ptr<Icons> m_icons;
    // What the import keeps of the bookmark folder (BookmarkIcon::folderFileName()), while the
    // folder keeps the name the import gave it.
    void readBookmark(int folderFd, const QByteArray &folder);
    bool m_bookmark = false;
    QString m_exactTitle;
    qint64 m_addDate = -1; // -1: none
    qint64 m_lastModified = 0;
    int m_id = 0;
    bool m_topFlag = false;
};

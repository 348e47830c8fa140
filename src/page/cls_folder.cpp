// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_folder.h"

#include "SortItems.h"
#include "TemplateBlocks.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "base/RunStop.h"
#include "bookmarks/BookmarkFile.h"
#include "bookmarks/BookmarkIcon.h"
#include "cls_FileSystemObject.h"
#include "cls_FolderEvents.h"
#include "settings/ProfileEscape.h"
#include "settings/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <numeric>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

struct cls_folder::Walk
{
    // The folders along the path are held open up to this many; a deeper one is opened
    // again by its path for its own shortcuts, once a folder.
    static constexpr int HeldFolders = 256;
    std::set<std::pair<dev_t, ino_t>> visited;
    int held = 0;
};

struct cls_folder::Icons
{
    QByteArray folder;            // ends in "/"
    QHash<QString, QString> read; // file name → data: address, empty when there is none
};

namespace {

// The order of a sorted page: ascending keeps equal keys in listing order, descending is the
// ascending order reversed.
void sortEntries(std::vector<cls_FileSystemObject::Entry> &entries, const QByteArray &path,
                 int folderFd, int order, bool desc)
{
    const size_t n = entries.size();
    std::vector<size_t> index(n);
    std::iota(index.begin(), index.end(), 0);
    if (order == SortItems::ByDate) {
        std::vector<qint64> keys(n);
        for (size_t i = 0; i < n; ++i) {
            struct stat st;
            if ((folderFd < 0 ? ::stat((path + entries[i].bytes).constData(), &st)
                              : ::fstatat(folderFd, entries[i].bytes.constData(), &st, 0)) != 0)
                throw RunError(u"更新日時を読み出せません ["_qs +
                               cls_FileSystemObject::decodeName(path + entries[i].bytes) + u"]"_qs);
            keys[i] = qint64(st.st_mtim.tv_sec);
        }
        std::stable_sort(index.begin(), index.end(),
                         [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    } else {
        std::vector<QString> keys(n);
        for (size_t i = 0; i < n; ++i)
            keys[i] = SortItems::nameKey(entries[i].name);
        std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) {
            return QStringView(keys[a]).compare(QStringView(keys[b]), Qt::CaseSensitive) < 0;
        });
    }
    if (desc)
        std::reverse(index.begin(), index.end());
    std::vector<cls_FileSystemObject::Entry> sorted;
    sorted.reserve(n);
    for (size_t i : index)
        sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

bool isShortcutName(const QString &name)
{
    return name.size() >= 4 && name.right(4).compare(u".url"_qs, Qt::CaseInsensitive) == 0;
}

} // namespace

bool cls_folder::GetData(QString Path, cls_folder *TopFolder, bool SortFlag, int Order, bool DESC,
                         int &IDKey)
{
    if (Path.endsWith(u'/') && Path.size() > 1)
        Path.chop(1);
    QByteArray path = QFile::encodeName(Path);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    m_icons = std::make_shared<Icons>();
    m_icons->folder = path + '/' + QFile::encodeName(BookmarkIcon::folderName()) + '/';
    Walk walk;
    return read(path, name, -1, TopFolder, SortFlag, Order, DESC, IDKey, walk);
}

bool cls_folder::read(const QByteArray &path, const QByteArray &name, int parentFd,
                      cls_folder *TopFolder, bool SortFlag, int Order, bool DESC, int &IDKey,
                      Walk &walk)
{
    m_links.clear();
    m_subfolders.clear();
    bool retained = false;
    m_name = name;
    m_title = cls_FileSystemObject::decodeName(name);
    const QByteArray folder = path.endsWith('/') ? path : path + '/';

    RunStop::check();
    if (m_events)
        m_events->raiseGetData(m_title);

    // The folder is opened once and what it holds is opened in it by name, so a file deep in
    // the tree costs what a shallow one does. A link to a folder is followed, as everywhere.
    constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = parentFd >= 0 ? ::openat(parentFd, name.constData(), folderFlags)
                           : ::open(folder.constData(), folderFlags);
    const auto closeFolder = qScopeGuard([&fd] {
        if (fd >= 0)
            ::close(fd);
    });

    // Each real folder once: a link back up the tree, or a second link to one folder, is
    // left out with a word.
    struct stat st;
    if ((fd >= 0 ? ::fstat(fd, &st) : ::stat(folder.constData(), &st)) == 0) {
        m_modified = qint64(st.st_mtim.tv_sec);
        if (!walk.visited.insert({st.st_dev, st.st_ino}).second) {
            MessageSink::show(cls_FileSystemObject::decodeName(folder) +
                              u"\r\nこのフォルダは既に読み込んだフォルダです\r\n\r\n"_qs
                              u"このフォルダを除いて処理を続行します"_qs);
            return false;
        }
    }

    cls_FileSystemObject fso;
    std::vector<cls_FileSystemObject::Entry> entries = fso.Entries(folder, fd);
    if (SortFlag)
        sortEntries(entries, folder, fd, Order, DESC);
    m_bookmark = false;
    for (const auto &e : entries) {
        if (!e.folder && e.name == BookmarkIcon::folderFileName())
            readBookmark(fd, folder);
    }
    const bool hold = walk.held < Walk::HeldFolders;
    if (hold) {
        ++walk.held;
    } else if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    for (const auto &e : entries) {
        if (!e.folder)
            continue;
        auto child = std::make_unique<cls_folder>();
        child->m_events = m_events;
        child->m_config = m_config;
        child->m_icons = m_icons;
        if (child->read(folder + e.bytes, e.bytes, fd, this, SortFlag, Order, DESC, IDKey, walk)) {
            m_subfolders.push_back(std::move(child));
            retained = true;
        }
    }
    if (hold)
        --walk.held;
    else
        fd = ::open(folder.constData(), folderFlags);

    for (const auto &e : entries) {
        if (e.folder || !isShortcutName(e.name))
            continue;
        RunStop::check();
        auto link = std::make_unique<cls_URL>();
        if (!link->load(folder, e.bytes, fd)) {
            MessageSink::show(cls_FileSystemObject::decodeName(folder + e.bytes) +
                              (link->tooBig()
                                   ? u"\r\nショートカットが大きすぎます (1 MiB を超えています)"_qs
                                   : u"\r\nファイルが存在しないか開く事が出来ません"_qs) +
                              u"\r\n\r\nこのファイルを除いて処理を続行します"_qs);
            continue;
        }
        m_links.push_back(std::move(link));
        retained = true;
    }

    if (retained) {
        m_parent = TopFolder;
        m_id = IDKey;
        if (IDKey == std::numeric_limits<int>::max())
            throw RunError(u"フォルダの数が多すぎます"_qs);
        ++IDKey;
    }
    return retained;
}

void cls_folder::ContentCode(const QString &TopSpace,
                             const std::function<void(const QString &)> &out) const
{
    if (m_events)
        m_events->raiseGetHtmlCode(m_title);
    // A folder's own links come before its subfolders.
    QStringList parameters(10);
    const bool utf8 = m_config->pageUtf8();
    for (const auto &link : m_links) {
        const cls_URL::Bookmark bookmark = link->BookmarkData();
        parameters[0] =
            cls_URL::PageText(bookmark.present ? bookmark.title : link->TitleText(), utf8);
        parameters[1] = link->URL();
        parameters[2] = QString::number(link->Modified());
        parameters[3] = LinkAttributes(*link, bookmark);
        m_config->Htmlcfg_SetParameter(parameters);
        out(TopSpace + m_config->Htmlcfg_GetSetting(u"Link"_qs));
    }
    for (const auto &sub : m_subfolders)
        sub->HtmlCode(TopSpace, out);
}

void cls_folder::HtmlCode(const QString &TopSpace,
                          const std::function<void(const QString &)> &out) const
{
    if (m_topFlag) {
        ContentCode(TopSpace, out);
        return;
    }
    // The block around the content, and the content folder by folder in between: a deep tree
    // is never held as text, level inside level.
    QString before;
    QString after;
    SetFolderParameters(TopSpace, QString());
    if (!m_config->Htmlcfg_GetSettingAround(u"Folder"_qs, 2, before, after)) {
        // Built whole: its size is foreseen once, before anything is built.
        static thread_local bool foreseen = false;
        if (!foreseen && predictedChars(TopSpace) > MaxBlockChars)
            throw RunError(u"ページが大きすぎます (2 GiB を超えます)。"_qs
                           u"定義ファイルの Folder ブロックを確かめてください"_qs);
        const bool outermost = !foreseen;
        foreseen = true;
        const auto done = qScopeGuard([outermost] {
            if (outermost)
                foreseen = false;
        });
        out(HtmlCode(TopSpace));
        return;
    }
    out(before);
    ContentCode(TopSpace, out);
    out(after);
}

qint64 cls_folder::predictedChars(const QString &TopSpace) const
{
    constexpr qint64 Cap = qint64(1) << 40;
    qint64 content = 0;
    QStringList parameters(10);
    for (const auto &link : m_links) {
        parameters[0] = link->Title();
        parameters[1] = link->URL();
        parameters[2] = QString::number(link->Modified());
        m_config->Htmlcfg_SetParameter(parameters);
        content += TopSpace.size() + m_config->Htmlcfg_GetSetting(u"Link"_qs).size();
    }
    for (const auto &sub : m_subfolders)
        content = qMin(Cap, content + sub->predictedChars(TopSpace));
    if (m_topFlag)
        return content;
    // How often the block holds the content, from two small fillings.
    const QString probe(64, u'x');
    SetFolderParameters(TopSpace, QString());
    const qint64 empty = m_config->Htmlcfg_GetSetting(u"Folder"_qs).size();
    SetFolderParameters(TopSpace, probe);
    const qint64 times =
        qMax<qint64>(0, m_config->Htmlcfg_GetSetting(u"Folder"_qs).size() - empty) / probe.size();
    return times > 0 && content > (Cap - empty) / times ? Cap : empty + times * content;
}

QString cls_folder::HtmlCode(const QString &TopSpace) const
{
    QString content;
    ContentCode(TopSpace, [&content](const QString &piece) { content += piece; });
    if (m_topFlag)
        return content;
    SetFolderParameters(TopSpace, content);
    return m_config->Htmlcfg_GetSetting(u"Folder"_qs);
}

void cls_folder::readBookmark(int folderFd, const QByteArray &folder)
{
    const QByteArray name = QFile::encodeName(BookmarkIcon::folderFileName());
    const int fd =
        folderFd >= 0
            ? ::openat(folderFd, name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)
            : ::open((folder + name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    QByteArray bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= 64 * 1024) {
        bytes.resize(qsizetype(st.st_size));
        if (::read(fd, bytes.data(), size_t(bytes.size())) != ssize_t(bytes.size()))
            bytes.clear();
    }
    ::close(fd);
    const QString text = Cp932::toUnicode(bytes);
    const QString section = u"Bookmark"_qs;
    const auto value = [&](const QString &key) { return ProfileFile::valueIn(text, section, key); };
    const std::optional<QString> title = value(u"Title"_qs);
    if (!title || ProfileEscape::decode(value(u"Name"_qs).value_or(QString())) != m_title)
        return;
    m_bookmark = true;
    m_exactTitle = ProfileEscape::decode(*title);
    m_addDate = value(u"AddDate"_qs) ? value(u"AddDate"_qs)->toLongLong() : -1;
    m_lastModified = value(u"LastModified"_qs).value_or(QString()).toLongLong();
}

void cls_folder::SetFolderParameters(const QString &TopSpace, const QString &content) const
{
    QStringList parameters(10);
    parameters[0] = MenuName();
    // A folder name can hold "<" or "&" here; the page gets it escaped like a link title.
    parameters[1] = cls_URL::PageText(m_bookmark ? m_exactTitle : m_title, m_config->pageUtf8());
    parameters[2] = content;
    parameters[3] = TopSpace;
    parameters[4] = QString::number(m_modified);
    // The role a browser gives a folder at the top: its toolbar, its other bookmarks.
    if (m_parent && !m_parent->m_parent) {
        switch (BookmarkFile::roleOfTopFolder(m_title)) {
        case BookmarkFile::Item::Toolbar:
            parameters[5] = u" PERSONAL_TOOLBAR_FOLDER=\"true\""_qs;
            break;
        case BookmarkFile::Item::Unfiled:
            parameters[5] = u" UNFILED_BOOKMARKS_FOLDER=\"true\""_qs;
            break;
        case BookmarkFile::Item::Plain:
            break;
        }
    }
    // Its dates as a bookmark file writes them: the bookmark's own, else the folder's time.
    const QString time = QString::number(m_modified);
    if (!m_bookmark)
        parameters[6] = u" ADD_DATE=\""_qs + time + u"\" LAST_MODIFIED=\""_qs + time + u'"';
    if (m_bookmark && m_addDate >= 0)
        parameters[6] += u" ADD_DATE=\""_qs + QString::number(m_addDate) + u'"';
    if (m_bookmark && m_lastModified > 0)
        parameters[6] += u" LAST_MODIFIED=\""_qs + QString::number(m_lastModified) + u'"';
    m_config->Htmlcfg_SetParameter(parameters);
}

QString cls_folder::LinkAttributes(const cls_URL &link, const cls_URL::Bookmark &bookmark) const
{
    const auto attribute = [](QStringView name, const QString &value) {
        return u" "_qs + name.toString() + u"=\""_qs + value + u'"';
    };
    if (!bookmark.present) {
        const QString date = QString::number(link.Modified());
        return attribute(u"ADD_DATE", date) + attribute(u"LAST_MODIFIED", date);
    }
    const bool utf8 = m_config->pageUtf8();
    QString out;
    if (bookmark.addDate >= 0)
        out += attribute(u"ADD_DATE", QString::number(bookmark.addDate));
    if (bookmark.lastModified > 0)
        out += attribute(u"LAST_MODIFIED", QString::number(bookmark.lastModified));
    if (!bookmark.iconUri.isEmpty())
        out += attribute(u"ICON_URI", cls_URL::PageText(bookmark.iconUri, utf8));
    // Only a plain name of the icon folder: a shortcut cannot bring another file into the page.
    const QString &icon = bookmark.icon;
    if (!icon.isEmpty() && m_icons && !icon.contains(u'/') && !icon.startsWith(u'.')) {
        auto found = m_icons->read.find(icon);
        if (found == m_icons->read.end()) {
            QFile file(QFile::decodeName(m_icons->folder) + icon);
            QString uri;
            if (QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly) &&
                file.size() <= BookmarkIcon::MaxBytes)
                uri = BookmarkIcon::dataUri(icon, file.read(BookmarkIcon::MaxBytes));
            found = m_icons->read.insert(icon, uri);
        }
        if (!found->isEmpty())
            out += attribute(u"ICON", *found);
    }
    return out;
}

void cls_folder::appendOpenCode(QString &out) const
{
    for (const auto &sub : m_subfolders)
        sub->appendOpenCode(out);
    if (m_topFlag)
        return;
    for (const auto &sub : m_subfolders) {
        out += u"if ("_qs + sub->MenuName() + u"_l.style.display ==''){"_qs + MenuName() +
               u"_l.style.display='';}\r\n"_qs;
    }
}

void cls_folder::appendCloseCode(QString &out) const
{
    if (!m_topFlag) {
        for (const auto &sub : m_subfolders) {
            out += u"if ("_qs + MenuName() + u"_l.style.display =='none'){"_qs + sub->MenuName() +
                   u"_l.style.display='none';}\r\n"_qs;
        }
    }
    for (const auto &sub : m_subfolders)
        sub->appendCloseCode(out);
}

void cls_folder::appendAllCloseCode(QString &out) const
{
    for (const auto &sub : m_subfolders)
        sub->appendAllCloseCode(out);
    if (!m_topFlag)
        out += MenuName() + u"_l.style.display = 'none';\r\n"_qs;
}

QString cls_folder::OpenCode() const
{
    QString out;
    appendOpenCode(out);
    return out;
}

QString cls_folder::CloseCode() const
{
    QString out;
    appendCloseCode(out);
    return out;
}

QString cls_folder::AllCloseCode() const
{
    QString out;
    appendAllCloseCode(out);
    return out;
}

qint64 cls_folder::LinkCount() const
{
    qint64 count = qint64(m_links.size());
    for (const auto &sub : m_subfolders)
        count += sub->LinkCount();
    return count;
}

void cls_folder::appendFolderCode(QString &out) const
{
    // Pre-order: a parent's record always comes before its children's.
    out += u"ID="_qs + QString::number(m_id) + u"\r\nTitle="_qs +
           cls_URL::RecordText(m_title, false) + u"\r\nParentID="_qs +
           QString::number(m_parent ? m_parent->m_id : 0) + u"\r\n"_qs;
    for (const auto &sub : m_subfolders)
        sub->appendFolderCode(out);
}

void cls_folder::appendLinkCode(QString &out, const std::function<void(QString &)> &drain) const
{
    for (const auto &link : m_links)
        link->appendDecodeCode(out, m_id);
    if (drain)
        drain(out);
    for (const auto &sub : m_subfolders)
        sub->appendLinkCode(out, drain);
}

QString cls_folder::EncodeFolderCode() const
{
    QString out;
    appendFolderCode(out);
    return out;
}

QString cls_folder::EncodeLinkCode() const
{
    QString out;
    appendLinkCode(out);
    return out;
}

void cls_folder::appendExactFolders(QString &out) const
{
    out += u"F T="_qs + QString::number(m_modified);
    if (QFile::encodeName(cls_URL::RecordText(m_title, false)) != m_name)
        out += u" N="_qs + QString::fromLatin1(m_name.toPercentEncoding());
    out += u"\r\n"_qs;
    for (const auto &sub : m_subfolders)
        sub->appendExactFolders(out);
}

void cls_folder::appendExactLinks(QString &out, const std::function<void(QString &)> &drain) const
{
    for (const auto &link : m_links) {
        link->appendExactCode(out);
        out += u"\r\n"_qs;
    }
    if (drain)
        drain(out);
    for (const auto &sub : m_subfolders)
        sub->appendExactLinks(out, drain);
}

void cls_folder::appendExactCode(QString &out, const std::function<void(QString &)> &drain) const
{
    out += u"[exact]\r\n"_qs;
    appendExactFolders(out);
    if (drain)
        drain(out);
    appendExactLinks(out, drain);
}

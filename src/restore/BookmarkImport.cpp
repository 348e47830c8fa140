// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookmarkImport.h"

#include "SafeFileName.h"
#include "base/CheckedFile.h"
#include "base/Cp932.h"
#include "base/RunStop.h"
#include "base/SystemError.h"
#include "bookmarks/BookmarkFile.h"
#include "bookmarks/BookmarkIcon.h"
#include "bookmarks/BookmarkTree.h"
#include "bookmarks/ChromiumBookmarks.h"
#include "bookmarks/FirefoxPlaces.h"
#include "settings/ProfileEscape.h"

#include <QFile>
#include <QScopeGuard>
#include <QSet>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

qsizetype utf8Size(const QString &text)
{
    qsizetype bytes = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : QChar::isSurrogate(u) ? 2 : 3;
    }
    return bytes;
}

QString malformedMessage(const BookmarkFile &file)
{
    return u"ブックマークファイルの形式が正しくありません ("_qs +
           QString::number(file.lineNumber()) + u" 行目)"_qs;
}

QString malformedMessage(const BookmarkTree &)
{
    return u"ブックマークの形式が正しくありません"_qs;
}

// A folder being filled, open as fd: its shortcuts are made in it by name, so a deep folder
// costs what a shallow one does.
struct OpenFolder
{
    QString path; // ends in "/"
    qsizetype pathBytes = 0;
    qint64 date = 0;
    UniqueNames names;
    int fd = -1;
    dev_t dev = 0; // what fd is, to know it again when it must be opened once more
    ino_t ino = 0;
};

bool identify(OpenFolder &folder)
{
    struct stat st;
    if (::fstat(folder.fd, &st) != 0)
        return false;
    folder.dev = st.st_dev;
    folder.ino = st.st_ino;
    return true;
}

// The parent of the folder open as childFd, reached through "..", never by its path: a link
// put anywhere along the path since is not followed. 0, or the errno.
int reopenParent(int childFd, OpenFolder &parent)
{
    parent.fd = ::openat(childFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent.fd < 0)
        return errno;
    struct stat st;
    if (::fstat(parent.fd, &st) == 0 && st.st_dev == parent.dev && st.st_ino == parent.ino)
        return 0;
    ::close(parent.fd);
    parent.fd = -1;
    return ESTALE;
}

constexpr size_t HeldFolders = 256;

} // namespace

QString BookmarkImport::shortcutAddress(const QString &url)
{
    QString trimmed;
    if (url.contains(u'\r') || url.contains(u'\n') || url.contains(u'\t')) {
        trimmed.reserve(url.size());
        for (const QChar c : url) {
            if (c != u'\r' && c != u'\n' && c != u'\t')
                trimmed += c;
        }
    } else {
        trimmed = url;
    }
    trimmed = trimmed.trimmed();
    bool plain = true;
    for (const QChar c : trimmed) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f) {
            plain = false;
            break;
        }
    }
    if (plain)
        return trimmed;
    QString out;
    out.reserve(trimmed.size() * 2);
    const auto percent = [&out](QByteArrayView bytes) {
        for (const char b : bytes)
            out += u'%' + QString::number(uchar(b), 16).toUpper().rightJustified(2, u'0');
    };
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else if (u < 0x80) {
            percent(QByteArray(1, char(u)));
        } else if (QChar::isHighSurrogate(u) && i + 1 < trimmed.size() &&
                   QChar::isLowSurrogate(trimmed.at(i + 1).unicode())) {
            percent(QStringView(trimmed).sliced(i, 2).toUtf8());
            ++i;
        } else if (!QChar::isSurrogate(u) && Cp932::canHold(QStringView(&c, 1))) {
            out += c;
        } else {
            percent(QStringView(&c, 1).toUtf8());
        }
    }
    return out;
}

QByteArray BookmarkImport::shortcutBytes(const QString &url)
{
    return Cp932::fromUnicode(u"[InternetShortcut]\r\nURL="_qs + shortcutAddress(url) + u"\r\n"_qs);
}

namespace {

QString bookmarkSection(const BookmarkFile::Item &item, const QString &name)
{
    const auto value = [](QStringView text) {
        return ProfileEscape::encode(text, ProfileEscape::Kind::Value);
    };
    QString text = u"[Bookmark]\r\nName="_qs + value(name) + u"\r\nTitle="_qs +
                   value(item.exactTitle) + u"\r\n"_qs;
    // No date is written for a bookmark that had none: the file's own is the import's.
    if (item.addDate > 0 || item.dated)
        text += u"AddDate="_qs + QString::number(item.addDate) + u"\r\n"_qs;
    if (item.lastModified > 0)
        text += u"LastModified="_qs + QString::number(item.lastModified) + u"\r\n"_qs;
    return text;
}

} // namespace

QByteArray BookmarkImport::folderBytes(const BookmarkFile::Item &item, const QString &name)
{
    return Cp932::fromUnicode(bookmarkSection(item, name));
}

QByteArray BookmarkImport::shortcutBytes(const BookmarkFile::Item &item, const QString &name,
                                         const QString &iconFile)
{
    const auto value = [](QStringView text) {
        return ProfileEscape::encode(text, ProfileEscape::Kind::Value);
    };
    QString text = u"[InternetShortcut]\r\nURL="_qs + shortcutAddress(item.url) + u"\r\n"_qs +
                   bookmarkSection(item, name);
    if (!item.iconUri.isEmpty())
        text += u"IconURI="_qs + value(item.iconUri) + u"\r\n"_qs;
    if (!iconFile.isEmpty())
        text += u"Icon="_qs + iconFile + u"\r\n"_qs;
    return Cp932::fromUnicode(text);
}

bool BookmarkImport::fail(const QString &message)
{
    emit logLine(message);
    return false;
}

BookmarkImport::Source BookmarkImport::sourceOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Source::BookmarkFile;
    const QByteArray head = file.read(64);
    if (head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return Source::FirefoxPlaces;
    // Chromium writes its JSON plainly, an object first; a page or bookmarks.html starts with
    // a tag.
    const QByteArray trimmed = head.trimmed();
    if (trimmed.startsWith('{'))
        return Source::ChromiumBookmarks;
    return Source::BookmarkFile;
}

bool BookmarkImport::ImportFile(const QString &LoadFile, const QString &BasePath)
{
    m_folders = 0;
    m_links = 0;
    emit logLine(u"ブックマークファイルを読み込んでいます"_qs);
    if (const QString cause = SystemError::plainFileCause(LoadFile); !cause.isEmpty())
        return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"] "_qs + cause);
    const Source source = sourceOf(LoadFile);
    if (source == Source::BookmarkFile) {
        BookmarkFile file;
        QString cause;
        if (!file.open(LoadFile, &cause))
            return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"] "_qs + cause);
        return importFrom(file, BasePath);
    }
    BookmarkTree tree;
    QString error;
    const bool read = source == Source::FirefoxPlaces
                          ? FirefoxPlaces::read(LoadFile, &tree, &error)
                          : ChromiumBookmarks::read(LoadFile, &tree, &error);
    if (!read)
        return fail(error);
    return importFrom(tree, BasePath);
}

template <class Reader> bool BookmarkImport::importFrom(Reader &file, const QString &BasePath)
{
    const QString base = BasePath.endsWith(u'/') ? BasePath : BasePath + u'/';
    if (const QString cause = SystemError::makeFolders(base); !cause.isEmpty())
        return fail(u"フォルダを作成できません ["_qs + base + u"] "_qs + cause);
    // The open folders, the base folder first. A bookmark folder too deep for a path to
    // hold it shares the folder above it: its bookmarks are kept, its level is not.
    std::vector<OpenFolder> folders(1);
    folders[0].path = base;
    folders[0].pathBytes = utf8Size(base);
    folders[0].fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto closeAll = qScopeGuard([&folders] {
        for (const OpenFolder &f : folders) {
            if (f.fd >= 0)
                ::close(f.fd);
        }
    });
    if (folders[0].fd < 0 || !identify(folders[0]))
        return fail(u"フォルダを作成できません ["_qs + base + u"] "_qs + SystemError::text(errno));
    CheckedFile::removeStrays(folders[0].fd);
    std::vector<bool> levelIsFolder;
    bool topSeen = false;
    // A bookmark file's own top (its H1) is the base folder itself, so that importing a page
    // made from a tree gives that tree again.
    const bool topIsBase = std::is_same_v<Reader, BookmarkFile>;
    int iconsFd = -1;
    const auto closeIcons = qScopeGuard([&iconsFd] {
        if (iconsFd >= 0)
            ::close(iconsFd);
    });
    QSet<QString> iconsWritten;
    qint64 iconsDropped = 0;
    // Nothing the file holds is put in the icons' place.
    folders[0].names.take(BookmarkIcon::folderName(), QStringView());
    qint64 items = 0;
    emit progress(0, file.size());

    for (;;) {
        if (RunStop::requested())
            return fail(RunStop::message());
        BookmarkFile::Item item = file.next();
        if (++items % 512 == 0)
            emit progress(file.position(), file.size());
        switch (item.kind) {
        case BookmarkFile::Item::FolderStart: {
            OpenFolder &parent = folders.back();
            if (topIsBase && levelIsFolder.empty()) {
                topSeen = true;
                levelIsFolder.push_back(false);
                break;
            }
            // A browser's toolbar and other bookmarks keep their role by their name.
            const bool atTop = levelIsFolder.size() == (topIsBase ? 1 : 0);
            if (atTop && item.role != BookmarkFile::Item::Plain &&
                BookmarkFile::roleOfTopFolder(item.title) != item.role)
                item.title = BookmarkFile::roleFolderName(item.role);
            const QString clean = SafeFileName::clean(item.title);
            // The top folder is taken again on a second import, like a restored one.
            const QString name = levelIsFolder.empty()
                                     ? SafeFileName::fit(clean, QStringView(), QStringView())
                                     : parent.names.take(clean, QStringView());
            topSeen = true;
            const qsizetype pathBytes = parent.pathBytes + utf8Size(name) + 1;
            if (pathBytes + SafeFileName::MaxBytes > MaxPathBytes) {
                levelIsFolder.push_back(false);
                emit logLine(u"フォルダが深すぎるため上のフォルダにまとめます ["_qs + name +
                             u"]"_qs);
                break;
            }
            OpenFolder folder;
            folder.path = parent.path + name + u'/';
            folder.pathBytes = pathBytes;
            folder.date = item.addDate;
            const QByteArray encoded = QFile::encodeName(name);
            const bool made = ::mkdirat(parent.fd, encoded.constData(), 0777) == 0;
            if (!made && errno != EEXIST)
                return fail(u"フォルダを作成できません ["_qs + folder.path + u"] "_qs +
                            SystemError::text(errno));
            // A link there, or put in place of the folder made just now, is never followed.
            folder.fd = CheckedFile::openFolderAt(parent.fd, encoded.constData());
            if (folder.fd < 0 || !identify(folder)) {
                const int error = errno;
                if (folder.fd >= 0)
                    ::close(folder.fd);
                return fail(u"フォルダを作成できません ["_qs + folder.path + u"] "_qs +
                            SystemError::text(error));
            }
            if (!made)
                CheckedFile::removeStrays(folder.fd);
            if (const int error = CheckedFile::writeSmallFile(
                    folder.fd, QFile::encodeName(BookmarkIcon::folderFileName()),
                    folderBytes(item, name), 0))
                return fail(u"ファイルを書き込めません ["_qs + folder.path +
                            BookmarkIcon::folderFileName() + u"] "_qs + SystemError::text(error));
            emit logLine(u"フォルダ復元["_qs + folder.path + u"]"_qs);
            ++m_folders;
            // No bookmark folder takes the name of the folder's own file.
            folder.names.take(BookmarkIcon::folderFileName(), QStringView());
            folders.push_back(std::move(folder));
            // The folders along the path are held open up to a number; one further up is
            // opened again from the folder below it when the import comes back to it.
            if (folders.size() > HeldFolders) {
                OpenFolder &far = folders[folders.size() - 1 - HeldFolders];
                ::close(far.fd);
                far.fd = -1;
            }
            levelIsFolder.push_back(true);
            break;
        }
        case BookmarkFile::Item::FolderEnd:
            if (levelIsFolder.empty())
                break;
            if (levelIsFolder.back()) {
                // Its content is complete: nothing changes the folder's own date after this.
                CheckedFile::setModified(folders.back().fd, nullptr, folders.back().date);
                OpenFolder &back = folders[folders.size() - 2];
                const int error = back.fd < 0 ? reopenParent(folders.back().fd, back) : 0;
                ::close(folders.back().fd);
                folders.pop_back();
                if (error != 0)
                    return fail(u"フォルダを作成できません ["_qs + back.path + u"] "_qs +
                                SystemError::text(error));
            }
            levelIsFolder.pop_back();
            break;
        case BookmarkFile::Item::Link: {
            // A shortcut over 1 MiB is refused by every reader of it: none is made.
            if (item.url.size() > 1024 * 1024) {
                emit logLine(u"アドレスが長すぎるため (1 MiB を超えています) 読み飛ばします ["_qs +
                             item.title.left(255) + u"]"_qs);
                break;
            }
            OpenFolder &folder = folders.back();
            const QString name = folder.names.take(SafeFileName::clean(item.title), u".url");
            QString iconFile;
            if (!item.icon.isEmpty()) {
                QByteArray image;
                iconFile = BookmarkIcon::fileFor(item.icon, &image);
                if (iconFile.isEmpty()) {
                    ++iconsDropped;
                } else if (!iconsWritten.contains(iconFile)) {
                    const QByteArray icons = QFile::encodeName(BookmarkIcon::folderName());
                    if (iconsFd < 0 &&
                        (::mkdirat(folders[0].fd, icons.constData(), 0777) == 0 || errno == EEXIST))
                        iconsFd = ::openat(folders[0].fd, icons.constData(),
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (iconsFd < 0)
                        return fail(u"フォルダを作成できません ["_qs + base +
                                    BookmarkIcon::folderName() + u"] "_qs +
                                    SystemError::text(errno));
                    if (const int error = CheckedFile::writeSmallFile(
                            iconsFd, QFile::encodeName(iconFile), image, 0))
                        return fail(u"ファイルを書き込めません ["_qs + base +
                                    BookmarkIcon::folderName() + u'/' + iconFile + u"] "_qs +
                                    SystemError::text(error));
                    iconsWritten.insert(iconFile);
                }
            }
            if (const int error =
                    CheckedFile::writeSmallFile(folder.fd, QFile::encodeName(name + u".url"_qs),
                                                shortcutBytes(item, name, iconFile), item.addDate))
                return fail(u"ファイルを書き込めません ["_qs + folder.path + name + u".url] "_qs +
                            SystemError::text(error));
            emit logLine(u"リンク復元["_qs + name + u"]"_qs);
            ++m_links;
            break;
        }
        case BookmarkFile::Item::Malformed:
            return fail(malformedMessage(file));
        case BookmarkFile::Item::End:
            emit progress(file.size(), file.size());
            if (!topSeen)
                return fail(u"ブックマーク情報が見つかりません"_qs);
            if (iconsDropped > 0)
                emit logLine(
                    u"アイコン "_qs + QString::number(iconsDropped) +
                    u" 個を取り込みませんでした (64 KiB を超えるか、data:image/… の画像でないもの)"_qs);
            emit logLine(u"ブックマークファイルを読み込みました (フォルダ "_qs +
                         QString::number(m_folders) + u"、リンク "_qs + QString::number(m_links) +
                         u")"_qs);
            return true;
        }
    }
}

#include "BookmarkImport.h"

#include "SafeFileName.h"
#include "base/CheckedFile.h"
#include "base/Cp932.h"
#include "base/RunStop.h"
#include "base/SystemError.h"
#include "bookmarks/BookmarkFile.h"
#include "bookmarks/BookmarkTree.h"
#include "bookmarks/ChromiumBookmarks.h"
#include "bookmarks/FirefoxPlaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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
};

constexpr size_t HeldFolders = 256;

} // namespace

QString BookmarkImport::shortcutAddress(const QString &url)
{
    QString trimmed;
    trimmed.reserve(url.size());
    for (const QChar c : url) {
        if (c != u'\r' && c != u'\n' && c != u'\t')
            trimmed += c;
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
    if (!QDir(u"/"_qs).mkpath(base) || !QFileInfo(base).isDir())
        return fail(u"フォルダを作成できません ["_qs + base + u"]"_qs);
    const QString canonicalBase = QFileInfo(base).canonicalFilePath();
    const auto insideBase = [&canonicalBase](const QString &folder) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        return !canonical.isEmpty() &&
               (canonical == canonicalBase || canonical.startsWith(canonicalBase + u'/') ||
                canonicalBase == u"/"_qs);
    };

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
    if (folders[0].fd < 0)
        return fail(u"フォルダを作成できません ["_qs + base + u"] "_qs + SystemError::text(errno));
    std::vector<bool> levelIsFolder;
    bool topSeen = false;
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
            if (::mkdirat(parent.fd, encoded.constData(), 0777) != 0 && errno != EEXIST)
                return fail(u"フォルダを作成できません ["_qs + folder.path + u"] "_qs +
                            SystemError::text(errno));
            folder.fd = ::openat(parent.fd, encoded.constData(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // A folder in a folder already checked is inside too; a link that was there, or
            // one put in place of the folder made just now, is followed only when it leads
            // inside the base folder.
            if (folder.fd < 0 && QFileInfo(folder.path).isDir() && insideBase(folder.path))
                folder.fd = ::open(QFile::encodeName(folder.path).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder.fd < 0)
                return fail(u"フォルダを作成できません ["_qs + folder.path + u"]"_qs);
            emit logLine(u"フォルダ復元["_qs + folder.path + u"]"_qs);
            ++m_folders;
            folders.push_back(std::move(folder));
            // The folders along the path are held open up to a number; one further up is
            // opened again by its path when the import comes back to it.
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
                ::close(folders.back().fd);
                folders.pop_back();
                OpenFolder &back = folders.back();
                if (back.fd < 0)
                    back.fd = ::open(QFile::encodeName(back.path).constData(),
                                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (back.fd < 0)
                    return fail(u"フォルダを作成できません ["_qs + back.path + u"] "_qs +
                                SystemError::text(errno));
            }
            levelIsFolder.pop_back();
            break;
        case BookmarkFile::Item::Link: {
            OpenFolder &folder = folders.back();
            const QString name = folder.names.take(SafeFileName::clean(item.title), u".url");
            if (const int error =
                    CheckedFile::writeSmallFile(folder.fd, QFile::encodeName(name + u".url"_qs),
                                                shortcutBytes(item.url), item.addDate))
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
            emit logLine(u"ブックマークファイルを読み込みました (フォルダ "_qs +
                         QString::number(m_folders) + u"、リンク "_qs + QString::number(m_links) +
                         u")"_qs);
            return true;
        }
    }
}

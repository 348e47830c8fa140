// SPDX-License-Identifier: GPL-3.0-or-later
#include "FavoritesRestore.h"

#include "SafeFileName.h"
#include "base/CheckedFile.h"
#include "base/Cp932.h"
#include "base/RunStop.h"
#include "base/SystemError.h"
#include "page/RestoreBlock.h"
#include "page/cls_FileSystemObject.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The leading decimal number of a text, as the page writes it; no number gives 0. Values past
// the 32-bit range saturate, so they fail the range checks instead of wrapping.
qint64 leadingNumber(QByteArrayView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    qint64 v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        v = qMin<qint64>(v * 10 + (s[i] - '0'), qint64(1) << 40);
        ++i;
    }
    return negative ? -v : v;
}

// The page's lines one at a time, ended by CR LF, a lone LF or a lone CR, as bytes of the
// page; only the lines being read are held, and each byte is looked at once. A line longer
// than any record holds is not kept: outside the block it reads as empty, inside (strict) as
// the end of the page, so a page of one huge line costs its reading and no more.
class LineReader
{
public:
    static constexpr qsizetype MaxLine = 4 * 1024 * 1024;
    explicit LineReader(QFile &file) : m_file(file) {}
    void setStrict() { m_strict = true; }
    bool read(QByteArray *line)
    {
        for (;;) {
            const char *data = m_buffer.constData();
            const qsizetype size = m_buffer.size();
            qsizetype end = m_scan;
            while (end < size && data[end] != '\r' && data[end] != '\n')
                ++end;
            // A CR at the buffer's end may be the first half of a CR LF.
            if ((end < size && !(data[end] == '\r' && end + 1 == size)) || m_eof) {
                if (end == size && end == m_pos && !m_skipping)
                    return false;
                const bool overlong = m_skipping;
                *line = overlong ? QByteArray() : m_buffer.sliced(m_pos, end - m_pos);
                qsizetype next = end;
                if (next < size)
                    next += data[next] == '\r' && next + 1 < size && data[next + 1] == '\n' ? 2 : 1;
                m_offset += next - m_pos + m_skipped;
                m_pos = m_scan = next;
                m_skipping = false;
                m_skipped = 0;
                return !(overlong && m_strict);
            }
            if (end - m_pos > MaxLine) {
                m_skipped += end - m_pos;
                m_skipping = true;
                m_buffer.remove(0, end);
                m_scan = 0;
            } else {
                m_buffer.remove(0, m_pos);
                m_scan = end - m_pos;
            }
            m_pos = 0;
            const QByteArray more = m_file.read(64 * 1024);
            if (more.isEmpty())
                m_eof = true;
            m_buffer += more;
        }
    }
    bool skip(qint64 count)
    {
        QByteArray line;
        for (qint64 k = 0; k < count; ++k) {
            if (!read(&line))
                return false;
        }
        return true;
    }
    // Where the next line starts, in bytes from where reading began.
    qint64 offset() const { return m_offset; }

private:
    QFile &m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_scan = 0; // where the search for the line's end goes on
    qint64 m_offset = 0;
    qint64 m_skipped = 0;
    bool m_skipping = false;
    bool m_eof = false;
    bool m_strict = false;
};

// The most a shortcut file holds; a record with more is refused, as the reader refuses one.
constexpr qsizetype MaxShortcutBytes = 1024 * 1024;

QString text(const QByteArray &line)
{
    return Cp932::toUnicode(line);
}

bool isAscii(const QByteArray &line)
{
    for (const char c : line) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

// A first reading of the block, which makes nothing: where the exact part starts (the line
// after "[exact]"), or -1 when the page has none or its records do not hold together (the
// restore then fails at that record), or -2 when the exact part does not give one well-formed
// line for each record; and how many whole folder records the page holds.
struct BlockShape
{
    qint64 exactStart = -1;
    qint64 folderRecords = 0;
};

BlockShape findExactPart(const QString &path)
{
    BlockShape shape;
    qint64 &start = shape.exactStart;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return shape;
    LineReader lines(file);
    QByteArray line;
    while (lines.read(&line) && line != "[encode]") {
    }
    lines.setStrict();
    if (!lines.read(&line) || !line.startsWith("Folder="))
        return shape;
    const qint64 folders = leadingNumber(QByteArrayView(line).sliced(7));
    if (folders < 0 || folders > file.size() / 8)
        return shape;
    for (qint64 r = 0; r < folders; ++r) {
        if (!lines.read(&line) || !line.startsWith("ID=") || !lines.read(&line) ||
            !line.startsWith("Title=") || !lines.read(&line) || !line.startsWith("ParentID="))
            return shape;
        ++shape.folderRecords;
    }
    if (!lines.read(&line) || !line.startsWith("Link="))
        return shape;
    const qint64 links = leadingNumber(QByteArrayView(line).sliced(5));
    if (links < 0 || links > file.size() / 8)
        return shape;
    for (qint64 r = 0; r < links; ++r) {
        if (!lines.read(&line) || !line.startsWith("FileName=") || !lines.read(&line) ||
            !line.startsWith("ParentID=") || !lines.read(&line) || !line.startsWith("FileLine="))
            return shape;
        const qint64 n = leadingNumber(QByteArrayView(line).sliced(9));
        if (n < 0 || !lines.skip(n))
            return shape;
    }
    if (!lines.read(&line) || line != "[exact]")
        return shape;
    start = lines.offset();
    for (qint64 r = 0; r < folders + links; ++r) {
        if (!lines.read(&line) || !line.startsWith(r < folders ? "F " : "L ")) {
            start = -2;
            return shape;
        }
    }
    return shape;
}

// One line of the exact part: its date, and the name's and the file's own bytes when given.
struct Exact
{
    qint64 time = 0;
    QByteArray name;
    QByteArray data;
    bool hasName = false;
    bool hasData = false;
};

bool parseExact(const QByteArray &line, Exact *exact)
{
    for (const QByteArray &field : line.split(' ').mid(1)) {
        if (field.startsWith("T="))
            exact->time = leadingNumber(QByteArrayView(field).sliced(2));
        else if (field.startsWith("N=")) {
            exact->name = QByteArray::fromPercentEncoding(field.sliced(2));
            exact->hasName = true;
        } else if (field.startsWith("D=")) {
            const auto decoded = QByteArray::fromBase64Encoding(
                field.sliced(2), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return false;
            exact->data = *decoded;
            exact->hasData = true;
        } else if (!field.isEmpty())
            return false;
    }
    return true;
}

// A name from the exact part: any bytes a Linux name can hold.
bool isSafeBytes(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0') && name.size() <= SafeFileName::MaxBytes;
}

// The names given in one folder in this run; a name taken gets " (2)", " (3)" and so on,
// compared case-folded where the target folds case.
struct TakenNames
{
    QSet<QByteArray> used;
    QHash<QByteArray, int> next;
};

QByteArray fitBytes(const QByteArray &stem, qsizetype budget)
{
    if (stem.size() <= budget)
        return stem;
    qsizetype end = qMax<qsizetype>(0, budget);
    while (end > 0 && (uchar(stem[end]) & 0xc0) == 0x80)
        --end; // never inside a UTF-8 character
    return stem.left(end);
}

QByteArray takeName(TakenNames &names, const QByteArray &name, qsizetype extension, bool folds)
{
    const auto key = [folds](const QByteArray &n) {
        return folds ? QString::fromUtf8(n).toCaseFolded().toUtf8() : n;
    };
    const QByteArray firstKey = key(name);
    if (!names.used.contains(firstKey)) {
        names.used.insert(firstKey);
        return name;
    }
    const QByteArray stem = name.first(name.size() - extension);
    const QByteArray ext = name.last(extension);
    int &number = names.next[firstKey];
    number = qMax(number, 2);
    for (;; ++number) {
        const QByteArray suffix = " (" + QByteArray::number(number) + ')';
        const QByteArray candidate =
            fitBytes(stem, SafeFileName::MaxBytes - suffix.size() - ext.size()) + suffix + ext;
        if (!names.used.contains(key(candidate))) {
            names.used.insert(key(candidate));
            ++number;
            return candidate;
        }
    }
}

// Whether names in the folder are told apart by letter case only.
bool foldsCase(int dir)
{
    // A temporary name: should the run be killed here, the next one removes it.
    QByteArray probe;
    const int fd = CheckedFile::createTemporary(dir, &probe);
    if (fd < 0)
        return false;
    const bool folds = ::faccessat(dir, probe.toUpper().constData(), F_OK, 0) == 0;
    ::unlinkat(dir, probe.constData(), 0);
    ::close(fd);
    return folds;
}

// The folders of the page: each is reached from the last one, going up through ".." (checked
// to be the folder it came from) and down by name, never following a link.
struct Folder
{
    int parent = -1;
    int depth = 0;
    qint64 order = 0;
    qint64 time = 0;
    QByteArray name;
};

class Cursor
{
public:
    ~Cursor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open(const QString &base)
    {
        m_fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        m_path = base;
        if (m_fd < 0 || !push(0))
            return failed(errno);
        CheckedFile::removeStrays(m_fd);
        return true;
    }
    int fd() const { return m_fd; }
    int depth() const { return int(m_stack.size()) - 1; }
    int top() const { return m_stack.back().id; }
    bool holds(int id, int depth) const
    {
        return depth < int(m_stack.size()) && m_stack[size_t(depth)].id == id;
    }
    // Up one folder; the folder left gets its date when asked (nothing more is written there).
    bool up(qint64 date)
    {
        CheckedFile::setModified(m_fd, nullptr, date);
        const int parent = ::openat(m_fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parent < 0)
            return failed(errno);
        ::close(m_fd);
        m_fd = parent;
        m_stack.pop_back();
        m_path.truncate(m_pathLengths.back());
        m_pathLengths.pop_back();
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return failed(errno);
        return (st.st_dev == m_stack.back().dev && st.st_ino == m_stack.back().ino) ||
               failed(ESTALE);
    }
    bool down(int id, const QByteArray &name, bool create)
    {
        const bool made = create && ::mkdirat(m_fd, name.constData(), 0777) == 0;
        if (create && !made && errno != EEXIST)
            return failed(errno);
        const int child = CheckedFile::openFolderAt(m_fd, name.constData());
        if (child < 0)
            return failed(errno);
        ::close(m_fd);
        m_fd = child;
        m_pathLengths.push_back(m_path.size());
        m_path += cls_FileSystemObject::decodeName(name) + u'/';
        if (!push(id))
            return failed(errno);
        // What a killed run left in a folder that was there already goes now.
        if (create && !made)
            CheckedFile::removeStrays(m_fd);
        return true;
    }
    QString cause() const { return SystemError::text(m_error); }
    // The folder's path for the log; a very deep one by its last part only.
    QString shown(const QByteArray &name = {}) const
    {
        const QString full = m_path + cls_FileSystemObject::decodeName(name);
        return full.size() <= 1024 ? full : u"…"_qs + full.right(1023);
    }
    QString path() const { return m_path; }

private:
    bool failed(int error)
    {
        m_error = error;
        return false;
    }
    bool push(int id)
    {
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return false;
        m_stack.push_back({id, st.st_dev, st.st_ino});
        return true;
    }
    struct Level
    {
        int id;
        dev_t dev;
        ino_t ino;
    };
    std::vector<Level> m_stack;
    std::vector<qsizetype> m_pathLengths;
    QString m_path;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

bool FavoritesRestore::fail(const QString &message)
{
    emit logLine(message);
    return false;
}

bool FavoritesRestore::isSafeName(const QString &name)
{
    if (name.isEmpty() || name == u"."_qs || name == u".."_qs)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return QFile::encodeName(name).size() <= 255;
}

bool FavoritesRestore::DecodeFile(const QString &LoadFile, const QString &BasePath)
{
    const QString base = BasePath.endsWith(u'/') ? BasePath : BasePath + u'/';
    if (const QString cause = SystemError::plainFileCause(LoadFile); !cause.isEmpty())
        return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"] "_qs + cause);
    QFile page(LoadFile);
    if (!page.open(QIODevice::ReadOnly))
        return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"]"_qs);
    const QString folderFailed = u"フォルダの復元に失敗しました"_qs;
    const QString linkFailed = u"リンクの復元に失敗しました"_qs;
    const BlockShape shape = findExactPart(LoadFile);
    const qint64 exactStart = shape.exactStart;
    if (exactStart == -2)
        return fail(linkFailed);
    QFile exactFile(LoadFile);
    LineReader exact(exactFile);
    exact.setStrict();
    if (exactStart >= 0 && (!exactFile.open(QIODevice::ReadOnly) || !exactFile.seek(exactStart)))
        return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"]"_qs);
    const auto readExact = [&](Exact *e) {
        QByteArray line;
        return exactStart < 0 || (exact.read(&line) && parseExact(line, e));
    };

    LineReader lines(page);
    QByteArray line;
    bool found = false;
    while (lines.read(&line)) {
        if (line == "[encode]") {
            found = true;
            break;
        }
    }
    lines.setStrict();
    if (!found || !lines.read(&line))
        return fail(u"復元情報が見つかりません"_qs);

    if (!line.startsWith("Folder="))
        return fail(u"フォルダ情報が見つかりません"_qs);
    emit logLine(u"フォルダ情報読み出し"_qs);
    const qint64 folderCount = leadingNumber(QByteArrayView(line).sliced(7));
    // A count of records the page does not hold is a lie, found before anything is made.
    if (folderCount < 0 || folderCount > shape.folderRecords)
        return fail(folderFailed);

    if (const QString cause = SystemError::makeFolders(base); !cause.isEmpty())
        return fail(u"フォルダを作成できません ["_qs + base + u"] "_qs + cause);
    Cursor cursor;
    if (!cursor.open(base))
        return fail(u"フォルダを作成できません ["_qs + base + u"] "_qs + cursor.cause());
    const bool folds = foldsCase(cursor.fd());

    std::vector<Folder> folders(size_t(folderCount) + 1);
    folders[0].parent = 0;
    QHash<int, TakenNames> taken;
    for (qint64 r = 0; r < folderCount; ++r) {
        if (RunStop::requested())
            return fail(RunStop::message());
        if (!lines.read(&line) || !line.startsWith("ID="))
            return fail(folderFailed);
        const qint64 id = leadingNumber(QByteArrayView(line).sliced(3));
        if (!lines.read(&line) || !line.startsWith("Title="))
            return fail(folderFailed);
        const QString title = text(line.sliced(6));
        if (!lines.read(&line) || !line.startsWith("ParentID="))
            return fail(folderFailed);
        const qint64 pid = leadingNumber(QByteArrayView(line).sliced(9));
        Exact e;
        if (!readExact(&e))
            return fail(folderFailed);
        // Records in the order the page is written: each folder's parent is a folder on the
        // way down to the record before it.
        if (id < 1 || id > folderCount || folders[size_t(id)].parent >= 0 || pid < 0 ||
            pid > folderCount || folders[size_t(pid)].parent < 0 ||
            !cursor.holds(int(pid), folders[size_t(pid)].depth) ||
            (e.hasName ? !isSafeBytes(e.name) : !isSafeName(title)))
            return fail(folderFailed);
        while (cursor.depth() > folders[size_t(pid)].depth) {
            if (!cursor.up(0))
                return fail(u"フォルダを作成できません ["_qs + cursor.shown() + u"] "_qs +
                            cursor.cause());
        }
        const QByteArray wanted = e.hasName ? e.name : QFile::encodeName(title);
        const QByteArray name = takeName(taken[int(pid)], wanted, 0, folds);
        if (name != wanted)
            emit logLine(u"名前が重なるため ["_qs + cls_FileSystemObject::decodeName(wanted) +
                         u"] を ["_qs + cls_FileSystemObject::decodeName(name) +
                         u"] として復元しました"_qs);
        if (!cursor.down(int(id), name, true))
            return fail(u"フォルダを作成できません ["_qs + cursor.shown(name) + u"/] "_qs +
                        cursor.cause());
        Folder &f = folders[size_t(id)];
        f.parent = int(pid);
        f.depth = folders[size_t(pid)].depth + 1;
        f.order = r + 1;
        f.time = e.time;
        f.name = name;
        emit logLine(u"フォルダ復元["_qs + cursor.shown() + u"]"_qs);
        emit progress(r + 1, folderCount);
    }

    if (!lines.read(&line) || !line.startsWith("Link="))
        return fail(u"リンク情報が見つかりません"_qs);
    emit logLine(u"リンク情報読み出し"_qs);
    const qint64 linkCount = leadingNumber(QByteArrayView(line).sliced(5));
    const qint64 pageSize = page.size(); // a look at the file each time it is asked
    if (linkCount < 0 || linkCount > pageSize / 8)
        return fail(linkFailed);

    qint64 lastOrder = 0;
    int current = -1; // the folder whose names are in taken: the links of one folder come together
    std::vector<int> chain;
    for (qint64 r = 0; r < linkCount; ++r) {
        if (RunStop::requested())
            return fail(RunStop::message());
        if (!lines.read(&line) || !line.startsWith("FileName="))
            return fail(linkFailed);
        // Pages show "&" as "&amp;"; the file gets its real name back.
        const QString title = RestoreBlock::decodeEntities(text(line.sliced(9)));
        if (!lines.read(&line) || !line.startsWith("ParentID="))
            return fail(linkFailed);
        const qint64 pid = leadingNumber(QByteArrayView(line).sliced(9));
        if (!lines.read(&line) || !line.startsWith("FileLine="))
            return fail(linkFailed);
        const qint64 n = leadingNumber(QByteArrayView(line).sliced(9));
        if (pid < 0 || pid > folderCount || folders[size_t(pid)].parent < 0 || n < 0 ||
            n > pageSize || folders[size_t(pid)].order < lastOrder)
            return fail(linkFailed);
        QByteArray content;
        for (qint64 k = 0; k < n; ++k) {
            if (!lines.read(&line))
                return fail(linkFailed);
            if (content.size() <= MaxShortcutBytes) {
                // ASCII is the same in the page as in the file: no round through the text.
                if (isAscii(line))
                    content += line;
                else
                    content += Cp932::fromUnicode(text(line));
                content += "\r\n";
            }
        }
        Exact e;
        if (!readExact(&e) || (e.hasName ? !isSafeBytes(e.name) || e.name.size() < 4 ||
                                               e.name.right(4).toLower() != ".url"
                                         : !isSafeName(title + u".url"_qs)))
            return fail(linkFailed);
        if (e.hasData)
            content = e.data;
        if (content.size() > MaxShortcutBytes)
            return fail(u"ショートカットが大きすぎます (1 MiB を超えています) ["_qs + title +
                        u"]"_qs);
        lastOrder = folders[size_t(pid)].order;

        // To the link's folder: up to the nearest folder on the way, then down to it.
        chain.clear();
        int target = int(pid);
        while (!cursor.holds(target, folders[size_t(target)].depth)) {
            chain.push_back(target);
            target = folders[size_t(target)].parent;
        }
        while (cursor.depth() > folders[size_t(target)].depth) {
            // Left for good: links come in the folders' order, so its date can be set.
            if (!cursor.up(folders[size_t(cursor.top())].time))
                return fail(u"フォルダを作成できません ["_qs + cursor.shown() + u"] "_qs +
                            cursor.cause());
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!cursor.down(*it, folders[size_t(*it)].name, false))
                return fail(u"フォルダを作成できません ["_qs +
                            cursor.shown(folders[size_t(*it)].name) + u"/] "_qs + cursor.cause());
        }
        if (current != int(pid)) {
            if (current >= 0)
                taken.remove(current);
            current = int(pid);
        }
        const QByteArray wanted = e.hasName ? e.name : QFile::encodeName(title + u".url"_qs);
        const QByteArray name = takeName(taken[current], wanted, 4, folds);
        const QString shownName = cls_FileSystemObject::decodeName(name.chopped(4));
        if (name != wanted)
            emit logLine(u"名前が重なるため ["_qs + cls_FileSystemObject::decodeName(wanted) +
                         u"] を ["_qs + cls_FileSystemObject::decodeName(name) +
                         u"] として復元しました"_qs);
        if (const int error = CheckedFile::writeSmallFile(cursor.fd(), name, content, e.time))
            return fail(u"ファイルを書き込めません ["_qs + cursor.shown(name) + u"] "_qs +
                        SystemError::text(error));
        emit logLine(u"リンク復元["_qs + shownName + u"]"_qs);
        emit progress(folderCount + r + 1, folderCount + linkCount);
    }
    while (cursor.depth() > 0) {
        if (!cursor.up(folders[size_t(cursor.top())].time))
            return fail(u"フォルダを作成できません ["_qs + cursor.shown() + u"] "_qs +
                        cursor.cause());
    }
    return true;
}

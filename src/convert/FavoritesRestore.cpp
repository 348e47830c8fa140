#include "FavoritesRestore.h"

#include "startup/CheckedFile.h"
#include "startup/Cp932.h"
#include "startup/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <vector>

namespace {

// The leading decimal number of a text, as the page writes it; no number gives 0. Values past
// the 32-bit range saturate, so they fail the range checks instead of wrapping.
qint64 leadingNumber(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        negative = s[i++] == u'-';
    qint64 v = 0;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        v = qMin<qint64>(v * 10 + (s[i].unicode() - u'0'), qint64(1) << 40);
        ++i;
    }
    return negative ? -v : v;
}

class Lines
{
public:
    explicit Lines(QStringList lines) : m_lines(std::move(lines)) {}
    bool atEnd() const { return m_next >= m_lines.size(); }
    qsizetype remaining() const { return m_lines.size() - m_next; }
    // A page that ends early gives no line, and the record reading it is malformed.
    bool read(QString *line)
    {
        if (atEnd())
            return false;
        *line = m_lines.at(m_next++);
        return true;
    }

private:
    QStringList m_lines;
    qsizetype m_next = 0;
};

// A new shortcut is created only where nothing is, not even a link (so nothing is written
// through a link planted in the base folder); one that is already there is replaced by a whole
// new file renamed over it, so a full disk leaves the old file as it was. New files are
// written in place: a rename for every file would make a large restore crawl. Answers the
// cause of a failure, nothing on success.
QString writeShortcut(const QString &fileName, const QByteArray &data)
{
    const QFileInfo info(fileName);
    QString cause;
    CheckedFile::writeFile(fileName, data, &cause,
                           !info.exists() && !info.isSymLink() ? CheckedFile::Mode::NewOnly
                                                               : CheckedFile::Mode::ReplaceMany);
    return cause;
}

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

QString FavoritesRestore::decodeEntities(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&') {
            static const struct
            {
                QString entity;
                QChar c;
            } entities[] = {
                {u"&amp;"_qs, u'&'}, {u"&lt;"_qs, u'<'}, {u"&gt;"_qs, u'>'}, {u"&quot;"_qs, u'"'}};
            bool done = false;
            for (const auto &e : entities) {
                if (QStringView(text).mid(i).startsWith(e.entity)) {
                    out += e.c;
                    i += e.entity.size() - 1;
                    done = true;
                    break;
                }
            }
            if (done)
                continue;
        }
        out += text.at(i);
    }
    return out;
}

bool FavoritesRestore::insideBase(const QString &folder) const
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() &&
           (canonical == m_canonicalBase || canonical.startsWith(m_canonicalBase + u'/') ||
            m_canonicalBase == u"/"_qs);
}

bool FavoritesRestore::MakeFolders(const QString &path)
{
    // Every missing folder along the path, the base folder's parents included.
    QDir root(u"/"_qs);
    if (!root.mkpath(path))
        return false;
    return QFileInfo(path).isDir();
}

bool FavoritesRestore::DecodeFile(const QString &LoadFile, const QString &BasePath)
{
    const QString base = BasePath.endsWith(u'/') ? BasePath : BasePath + u'/';
    QFile page(LoadFile);
    if (!page.open(QIODevice::ReadOnly))
        return fail(u"ファイルを開く事が出来ません ["_qs + LoadFile + u"]"_qs);
    const QByteArray bytes = page.readAll();
    page.close();
    Lines lines(TextLines::split(Cp932::toUnicode(bytes)));

    QString line;
    bool found = false;
    while (lines.read(&line)) {
        if (line == u"[encode]"_qs) {
            found = true;
            break;
        }
    }
    if (!found || lines.atEnd())
        return fail(u"復元情報が見つかりません"_qs);

    lines.read(&line);
    if (!line.startsWith(u"Folder="_qs))
        return fail(u"フォルダ情報が見つかりません"_qs);
    emit logLine(u"フォルダ情報読み出し"_qs);
    const QString folderFailed = u"フォルダの復元に失敗しました"_qs;
    const qint64 folderCount = leadingNumber(QStringView(line).mid(7));
    // Three lines a record: a count the rest of the page cannot hold is a lie.
    if (folderCount < 0 || folderCount > lines.remaining() / 3)
        return fail(folderFailed);

    if (!MakeFolders(base))
        return fail(u"フォルダを作成できません ["_qs + base + u"]"_qs);
    m_canonicalBase = QFileInfo(base).canonicalFilePath();

    std::vector<QString> paths(size_t(folderCount) + 1);
    paths[0] = base;
    for (qint64 r = 0; r < folderCount; ++r) {
        if (!lines.read(&line) || !line.startsWith(u"ID="_qs))
            return fail(folderFailed);
        const qint64 id = leadingNumber(QStringView(line).mid(3));
        if (!lines.read(&line) || !line.startsWith(u"Title="_qs))
            return fail(folderFailed);
        const QString title = line.mid(6);
        if (!lines.read(&line) || !line.startsWith(u"ParentID="_qs))
            return fail(folderFailed);
        const qint64 pid = leadingNumber(QStringView(line).mid(9));
        if (id < 1 || id > folderCount || !paths[size_t(id)].isEmpty() || pid < 0 ||
            pid > folderCount || paths[size_t(pid)].isEmpty() || !isSafeName(title))
            return fail(folderFailed);
        const QString folder = paths[size_t(pid)] + title + u'/';
        if (!MakeFolders(folder) || !insideBase(folder))
            return fail(u"フォルダを作成できません ["_qs + folder + u"]"_qs);
        paths[size_t(id)] = folder;
        emit logLine(u"フォルダ復元["_qs + folder + u"]"_qs);
        emit progress(r + 1, folderCount);
    }

    if (!lines.read(&line) || !line.startsWith(u"Link="_qs))
        return fail(u"リンク情報が見つかりません"_qs);
    emit logLine(u"リンク情報読み出し"_qs);
    const QString linkFailed = u"リンクの復元に失敗しました"_qs;
    const qint64 linkCount = leadingNumber(QStringView(line).mid(5));
    if (linkCount < 0 || linkCount > lines.remaining() / 3)
        return fail(linkFailed);

    for (qint64 r = 0; r < linkCount; ++r) {
        if (!lines.read(&line) || !line.startsWith(u"FileName="_qs))
            return fail(linkFailed);
        // Pages show "&" as "&amp;"; the file gets its real name back.
        const QString name = decodeEntities(line.mid(9));
        if (!lines.read(&line) || !line.startsWith(u"ParentID="_qs))
            return fail(linkFailed);
        const qint64 pid = leadingNumber(QStringView(line).mid(9));
        if (!lines.read(&line) || !line.startsWith(u"FileLine="_qs))
            return fail(linkFailed);
        const qint64 n = leadingNumber(QStringView(line).mid(9));
        if (pid < 0 || pid > folderCount || paths[size_t(pid)].isEmpty() || n < 0 ||
            n > lines.remaining() || !isSafeName(name + u".url"_qs))
            return fail(linkFailed);
        QString content;
        for (qint64 k = 0; k < n; ++k) {
            lines.read(&line);
            content += line + u"\r\n"_qs;
        }
        const QString fileName = paths[size_t(pid)] + name + u".url"_qs;
        if (const QString cause = writeShortcut(fileName, Cp932::fromUnicode(content));
            !cause.isEmpty())
            return fail(u"ファイルを書き込めません ["_qs + fileName + u"] "_qs + cause);
        emit logLine(u"リンク復元["_qs + name + u"]"_qs);
        emit progress(folderCount + r + 1, folderCount + linkCount);
    }
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_URL.h"

#include "RestoreBlock.h"
#include "base/Cp932.h"
#include "base/RunError.h"
#include "base/TextLines.h"
#include "cls_FileSystemObject.h"
#include "settings/ProfileEscape.h"
#include "settings/ProfileFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One character of text at i: a surrogate pair counts as one.
qsizetype charLength(QStringView text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
               ? 2
               : 1;
}

QString reference(QStringView one)
{
    const char32_t code =
        one.size() == 2 ? QChar::surrogateToUcs4(one[0], one[1]) : one[0].unicode();
    return u"&#"_qs + QString::number(uint(code)) + u';';
}

// "-->" and "--!>" end an HTML comment: their ">" goes as an entity.
void breakCommentEnds(QString &text)
{
    for (qsizetype i = text.indexOf(u"--"_qs); i >= 0; i = text.indexOf(u"--"_qs, i + 1)) {
        qsizetype end = i + 2;
        while (end < text.size() && text.at(end) == u'-')
            ++end;
        if (end < text.size() && text.at(end) == u'!')
            ++end;
        if (end < text.size() && text.at(end) == u'>')
            text.replace(end, 1, u"&gt;"_qs);
    }
}

bool isMarkup(char16_t u)
{
    return u == u'&' || u == u'<' || u == u'>' || u == u'"';
}

bool isControl(char16_t u)
{
    return u < 0x20 || u == 0x7f;
}

// Most titles need no change at all: a look at each character, and the text is used as it is.
template <typename Test> bool noneOf(QStringView text, Test test)
{
    for (const QChar c : text) {
        if (test(c.unicode()))
            return false;
    }
    return true;
}

// name below the folder open as folderFd, or a whole path with AT_FDCWD.
bool readShortcut(int folderFd, const char *name, QByteArray *content, qint64 *modified,
                  bool *tooBig)
{
    // Non-blocking, so that a FIFO put in place of a file since the listing cannot hold the
    // run; only a regular file is read.
    int fd;
    do
        fd = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > cls_URL::MaxFileBytes) {
        ok = false;
        *tooBig = true;
    }
    QByteArray data;
    char buffer[16 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        data.append(buffer, n);
        if (data.size() > cls_URL::MaxFileBytes) {
            ok = false;
            *tooBig = true;
        }
    }
    ::close(fd);
    if (ok) {
        *content = std::move(data);
        *modified = qint64(st.st_mtim.tv_sec);
    }
    return ok;
}

} // namespace

QString cls_URL::EscapeHtml(const QString &text)
{
    if (noneOf(text, isMarkup))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    // The plain runs between the markup go as they stand.
    const QStringView in(text);
    qsizetype from = 0;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char16_t u = in[i].unicode();
        if (!isMarkup(u))
            continue;
        out += in.sliced(from, i - from);
        out += u == u'&' ? u"&amp;" : u == u'<' ? u"&lt;" : u == u'>' ? u"&gt;" : u"&quot;";
        from = i + 1;
    }
    out += in.sliced(from);
    return out;
}

QString cls_URL::PageText(const QString &text, bool utf8)
{
    if (noneOf(
            text,
            [utf8](char16_t u) { return isMarkup(u) || isControl(u) || (utf8 && u == u'\''); }) &&
        (utf8 || Cp932::canHold(text)))
        return text;
    const QString escaped = EscapeHtml(text);
    // Markup alone is the common case: the entities are all the title needs.
    if (noneOf(text, isControl) && Cp932::canHold(text) && !(utf8 && text.contains(u'\'')))
        return escaped;
    QString out;
    out.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QStringView one = QStringView(escaped).mid(i, charLength(escaped, i));
        const char16_t u = one[0].unicode();
        // A UTF-8 page is written as browsers write theirs: a title's tabs and line breaks
        // as they are, and "'" as a reference.
        if (utf8 && (u == u'\t' || u == u'\n' || u == u'\r'))
            out += one;
        else if (u < 0x20 || u == 0x7f || (!utf8 && !Cp932::canHold(one)) || (utf8 && u == u'\''))
            out += reference(one);
        else
            out += one;
        i += one.size() - 1;
    }
    return out;
}

QString cls_URL::RecordText(const QString &text, bool escapeMarkup)
{
    if (noneOf(text,
               [escapeMarkup](char16_t u) {
                   return (escapeMarkup && isMarkup(u)) || isControl(u) || u == u'\\';
               }) &&
        Cp932::canHold(text) && !text.contains(u"--"_qs))
        return text;
    // Markup alone is the common case: each character as the loop below would give it.
    if (noneOf(text, [](char16_t u) { return isControl(u) || u == u'\\'; }) &&
        Cp932::canHold(text)) {
        QString out = escapeMarkup ? EscapeHtml(text) : text;
        breakCommentEnds(out);
        return out;
    }
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QStringView one = QStringView(text).mid(i, charLength(text, i));
        const char16_t u = one[0].unicode();
        if (escapeMarkup && (u == u'&' || u == u'<' || u == u'>' || u == u'"'))
            out += EscapeHtml(one.toString());
        else if (u < 0x20 || u == 0x7f || u == u'\\' || !Cp932::canHold(one))
            out += reference(one);
        else
            out += one;
        i += one.size() - 1;
    }
    breakCommentEnds(out);
    return out;
}

void cls_URL::appendRecordLine(QString &out, QStringView line)
{
    if (Cp932::canHold(line) && !line.contains(u"--"_qs)) {
        out += line;
        return;
    }
    QString piece;
    piece.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QStringView one = line.mid(i, charLength(line, i));
        if (Cp932::canHold(one))
            piece += one;
        else
            piece += reference(one);
        i += one.size() - 1;
    }
    breakCommentEnds(piece);
    out += piece;
}

QString cls_URL::AddressText(const QString &url)
{
    // A browser sends what the page's code page makes of a raw character (a query in
    // Shift_JIS bytes); percent-encoded, it sends the UTF-8 that sites expect.
    if (noneOf(url, [](char16_t u) { return u >= 0x80; }))
        return url;
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(url.size() * 3);
    for (const char b : url.toUtf8()) {
        const uchar u = uchar(b);
        if (u < 0x80) {
            out += QLatin1Char(b);
        } else {
            out += u'%';
            out += QLatin1Char(hex[u >> 4]);
            out += QLatin1Char(hex[u & 15]);
        }
    }
    return out;
}

QString cls_URL::FileText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xff\xfe")) {
        const QByteArrayView units = QByteArrayView(bytes).sliced(2);
        QString text(units.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(uchar(units[2 * i]) | (uchar(units[2 * i + 1]) << 8)));
        return text;
    }
    if (bytes.startsWith("\xef\xbb\xbf"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return Cp932::toUnicode(bytes);
}

QString cls_URL::decodeUtf7(QStringView text)
{
    // "+" opens base64 of UTF-16 units, ended by "-" (taken) or any other character; "+-" is
    // the plus sign itself.
    static const QByteArray alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'+') {
            out += text[i];
            continue;
        }
        ++i;
        if (i < text.size() && text[i] == u'-') {
            out += u'+';
            continue;
        }
        quint32 bits = 0;
        int count = 0;
        for (; i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            const qsizetype v = u < 0x80 ? alphabet.indexOf(char(u)) : -1;
            if (v < 0)
                break;
            bits = (bits << 6) | quint32(v);
            count += 6;
            if (count >= 16) {
                count -= 16;
                out += QChar(char16_t((bits >> count) & 0xffff));
            }
        }
        if (i < text.size() && text[i] != u'-')
            out += text[i];
    }
    return out;
}

void cls_URL::SetFileName(const QString &folderPath, const QString &fileName)
{
    if (!load(QFile::encodeName(folderPath), QFile::encodeName(fileName)))
        throw RunError(
            u"ショートカットを読み出せません ["_qs + folderPath + fileName + u"]"_qs +
            (m_tooBig ? u" ショートカットが大きすぎます (1 MiB を超えています)"_qs : QString()));
}

bool cls_URL::load(const QByteArray &folderPath, const QByteArray &nameBytes, int folderFd)
{
    m_tooBig = false;
    if (!(folderFd < 0
              ? readShortcut(AT_FDCWD, (folderPath + nameBytes).constData(), &m_content,
                             &m_modified, &m_tooBig)
              : readShortcut(folderFd, nameBytes.constData(), &m_content, &m_modified, &m_tooBig)))
        return false;
    m_name = nameBytes;
    m_exact = Unknown;
    return true;
}

QString cls_URL::stem() const
{
    const QString name = cls_FileSystemObject::decodeName(m_name);
    return name.chopped(qMin<qsizetype>(4, name.size()));
}

cls_URL::Bookmark cls_URL::BookmarkData() const
{
    Bookmark b;
    if (!m_content.contains("[Bookmark]"))
        return b;
    const QString text = FileText(m_content);
    const QString section = u"Bookmark"_qs;
    const auto value = [&](const QString &key) {
        return ProfileEscape::decode(ProfileFile::valueIn(text, section, key).value_or(QString()));
    };
    const std::optional<QString> title = ProfileFile::valueIn(text, section, u"Title"_qs);
    if (!title || value(u"Name"_qs) != stem())
        return b;
    b.present = true;
    b.title = ProfileEscape::decode(*title);
    if (const auto added = ProfileFile::valueIn(text, section, u"AddDate"_qs))
        b.addDate = added->toLongLong();
    b.lastModified = value(u"LastModified"_qs).toLongLong();
    b.iconUri = value(u"IconURI"_qs);
    b.icon = value(u"Icon"_qs);
    return b;
}

QString cls_URL::TitleText() const
{
    Bookmark b = BookmarkData();
    return b.present ? std::move(b.title) : stem();
}

QString cls_URL::Title() const
{
    return PageText(TitleText());
}

QString cls_URL::URL() const
{
    const QString text = FileText(m_content);
    // Windows adds the address in UTF-7 where the code page cannot hold it.
    QString url = decodeUtf7(
        ProfileFile::valueIn(text, u"InternetShortcut.W"_qs, u"URL"_qs).value_or(QString()));
    if (url.isEmpty())
        url = ProfileFile::valueIn(text, u"InternetShortcut"_qs, u"URL"_qs).value_or(QString());
    return EscapeHtml(AddressText(url));
}

void cls_URL::appendRecord(QString &out, int ParentID, quint8 *needs) const
{
    const QString text = FileText(m_content);
    const QString name = RecordText(stem(), true);
    qsizetype lines = 0;
    TextLines::forEachLine(text, [&lines](QStringView) { ++lines; });
    out += u"FileName="_qs + name + u"\r\nParentID="_qs + QString::number(ParentID) +
           u"\r\nFileLine="_qs + QString::number(lines) + u"\r\n"_qs;
    const qsizetype linesStart = out.size();
    TextLines::forEachLine(text, [&out](QStringView line) {
        appendRecordLine(out, line);
        out += u"\r\n"_qs;
    });
    if (!needs)
        return;
    // What the restore makes of the record alone, checked against what it must give back.
    *needs = Checked;
    if (QFile::encodeName(RestoreBlock::decodeEntities(name) + u".url"_qs) != m_name)
        *needs |= NeedsName;
    if (Cp932::fromUnicode(QStringView(out).sliced(linesStart)) != m_content)
        *needs |= NeedsBytes;
}

quint8 cls_URL::exactNeeds() const
{
    if (m_exact == Unknown) {
        QString record;
        appendRecord(record, 0, &m_exact);
    }
    return m_exact;
}

QString cls_URL::DecodeCode(int ParentID) const
{
    QString out;
    appendDecodeCode(out, ParentID);
    return out;
}

void cls_URL::appendDecodeCode(QString &out, int ParentID) const
{
    appendRecord(out, ParentID, m_exact == Unknown ? &m_exact : nullptr);
}

void cls_URL::appendExactCode(QString &out) const
{
    const quint8 needs = exactNeeds();
    out += u"L T="_qs + QString::number(m_modified);
    if (needs & NeedsName)
        out += u" N="_qs + QString::fromLatin1(m_name.toPercentEncoding());
    if (needs & NeedsBytes)
        out += u" D="_qs + QString::fromLatin1(m_content.toBase64());
}

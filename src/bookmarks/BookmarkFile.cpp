// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookmarkFile.h"

#include "base/Cp932.h"
#include "base/TextLines.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <cctype>

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool is(QStringView name, QStringView expected)
{
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

// Tags that begin or end an entry: a title or link text runs up to one of them even when its
// own closing tag is missing.
bool isStructural(QStringView name)
{
    static const char16_t *const names[] = {u"dl",    u"dt",   u"dd",   u"a",    u"h1",  u"h2",
                                            u"h3",    u"h4",   u"h5",   u"h6",   u"hr",  u"p",
                                            u"title", u"meta", u"head", u"body", u"html"};
    for (const char16_t *n : names) {
        if (is(name, QStringView(n)))
            return true;
    }
    return false;
}

QString collapseSpaces(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool space = false;
    for (const QChar c : text) {
        if (isSpace(c)) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out += u' ';
        space = false;
        out += c;
    }
    return out;
}

// Browsers write seconds; a value past the year 5000 was written in milli- or microseconds.
qint64 addDate(QStringView value)
{
    value = value.trimmed();
    qint64 v = 0;
    qsizetype i = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9' && i < 18; ++i)
        v = v * 10 + (value[i].unicode() - u'0');
    if (i == 0)
        return 0;
    while (v > 100000000000LL)
        v /= 1000;
    return v;
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (base == 16 && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (base == 16 && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isShiftJis(const QString &name)
{
    static const char16_t *const names[] = {
        u"shift_jis",  u"shift-jis",   u"sjis",       u"x-sjis",     u"windows-31j",
        u"cp932",      u"ms932",       u"ms_kanji",   u"csshiftjis", u"cswindows31j",
        u"x-ms-cp932", u"windows-932", u"x-shift_jis"};
    for (const char16_t *n : names) {
        if (is(name, QStringView(n)))
            return true;
    }
    return false;
}

// The last bytes start a UTF-8 sequence that the file does not finish.
bool endsInsideCharacter(QByteArrayView bytes)
{
    for (qsizetype i = 1; i <= qMin<qsizetype>(3, bytes.size()); ++i) {
        const uchar b = uchar(bytes[bytes.size() - i]);
        if ((b & 0xc0) == 0x80)
            continue;
        return (b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc0 ? 2 : 1) > i;
    }
    return false;
}

// The charset named in the head of the file (its META line), or an empty text.
QString charsetInHead(QByteArrayView bytes)
{
    const QByteArray head =
        bytes.first(qMin<qsizetype>(bytes.size(), 8192)).toByteArray().toLower();
    qsizetype limit = head.indexOf("<dl");
    if (limit < 0)
        limit = head.size();
    for (qsizetype at = head.indexOf("charset"); at >= 0 && at < limit;
         at = head.indexOf("charset", at)) {
        at += 7;
        while (at < head.size() && (head[at] == ' ' || head[at] == '\t'))
            ++at;
        if (at >= head.size() || head[at] != '=')
            continue;
        ++at;
        while (at < head.size() &&
               (head[at] == ' ' || head[at] == '\t' || head[at] == '"' || head[at] == '\''))
            ++at;
        qsizetype end = at;
        while (end < head.size() && (std::isalnum(uchar(head[end])) || head[end] == '-' ||
                                     head[end] == '_' || head[end] == '.' || head[end] == ':'))
            ++end;
        if (end > at)
            return QString::fromLatin1(bytes.sliced(at, end - at));
    }
    return QString();
}

} // namespace

BookmarkFile::Item::Role BookmarkFile::roleOfTopFolder(QStringView name)
{
    static const char16_t *const toolbars[] = {u"ブックマーク バー", u"ブックマークツールバー",
                                               u"リンク"};
    static const char16_t *const unfiled[] = {u"その他のブックマーク", u"他のブックマーク"};
    for (const char16_t *n : toolbars) {
        if (name == QStringView(n))
            return Item::Toolbar;
    }
    for (const char16_t *n : unfiled) {
        if (name == QStringView(n))
            return Item::Unfiled;
    }
    return Item::Plain;
}

QString BookmarkFile::roleFolderName(Item::Role role)
{
    return role == Item::Toolbar   ? u"ブックマークツールバー"_qs
           : role == Item::Unfiled ? u"他のブックマーク"_qs
                                   : QString();
}

QString BookmarkFile::defaultTitle()
{
    return u"ブックマーク"_qs;
}

QString BookmarkFile::decode(QByteArrayView bytes, QString *charset)
{
    QString name;
    QString text;
    if (bytes.startsWith("\xef\xbb\xbf")) {
        name = u"UTF-8"_qs;
        text = QString::fromUtf8(bytes.sliced(3));
    } else if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        const bool le = bytes.startsWith("\xff\xfe");
        name = le ? u"UTF-16LE"_qs : u"UTF-16BE"_qs;
        QStringDecoder decoder(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = decoder.decode(bytes.sliced(2));
    } else {
        name = charsetInHead(bytes);
        if (isShiftJis(name)) {
            text = Cp932::toUnicode(bytes);
        } else if (name.isEmpty()) {
            QStringDecoder utf8(QStringDecoder::Utf8);
            text = utf8.decode(bytes);
            name = u"UTF-8"_qs;
            // No META, and not UTF-8 either: a file saved on a Japanese Windows.
            if (utf8.hasError()) {
                name = u"windows-31j"_qs;
                text = Cp932::toUnicode(bytes);
            }
        } else if (is(name, u"utf-8") || is(name, u"utf8")) {
            name = u"UTF-8"_qs;
            text = QString::fromUtf8(bytes);
        } else {
            QStringDecoder decoder(name.toLatin1().constData());
            if (decoder.isValid()) {
                text = decoder.decode(bytes);
            } else {
                // A charset this system does not know: read as the browsers' default.
                name = u"UTF-8"_qs;
                text = QString::fromUtf8(bytes);
            }
        }
    }
    if (charset)
        *charset = name;
    return text;
}

bool BookmarkFile::looksLikeBookmarkFile(QByteArrayView head)
{
    const QString text = decode(head.first(qMin<qsizetype>(head.size(), 4096)));
    qsizetype at = text.indexOf(u"<!doctype"_qs, 0, Qt::CaseInsensitive);
    if (at >= 0) {
        at += 9;
        while (at < text.size() && isSpace(text.at(at)))
            ++at;
        if (QStringView(text).mid(at).startsWith(u"netscape-bookmark-file", Qt::CaseInsensitive))
            return true;
    }
    // Some tools leave the DOCTYPE out: a list whose entries are folders or links is enough.
    return text.contains(u"<dt><a "_qs, Qt::CaseInsensitive) ||
           text.contains(u"<dt><h3"_qs, Qt::CaseInsensitive);
}

QString BookmarkFile::decodeEntities(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    static const QHash<QString, char16_t> named{
        {u"amp"_qs, u'&'},         {u"AMP"_qs, u'&'},         {u"lt"_qs, u'<'},
        {u"LT"_qs, u'<'},          {u"gt"_qs, u'>'},          {u"GT"_qs, u'>'},
        {u"quot"_qs, u'"'},        {u"QUOT"_qs, u'"'},        {u"apos"_qs, u'\''},
        {u"nbsp"_qs, u'\u00a0'},   {u"copy"_qs, u'\u00a9'},   {u"reg"_qs, u'\u00ae'},
        {u"trade"_qs, u'\u2122'},  {u"hellip"_qs, u'\u2026'}, {u"mdash"_qs, u'\u2014'},
        {u"ndash"_qs, u'\u2013'},  {u"lsquo"_qs, u'\u2018'},  {u"rsquo"_qs, u'\u2019'},
        {u"ldquo"_qs, u'\u201c'},  {u"rdquo"_qs, u'\u201d'},  {u"laquo"_qs, u'\u00ab'},
        {u"raquo"_qs, u'\u00bb'},  {u"middot"_qs, u'\u00b7'}, {u"bull"_qs, u'\u2022'},
        {u"yen"_qs, u'\u00a5'},    {u"euro"_qs, u'\u20ac'},   {u"pound"_qs, u'\u00a3'},
        {u"cent"_qs, u'\u00a2'},   {u"times"_qs, u'\u00d7'},  {u"divide"_qs, u'\u00f7'},
        {u"deg"_qs, u'\u00b0'},    {u"sect"_qs, u'\u00a7'},   {u"para"_qs, u'\u00b6'},
        {u"larr"_qs, u'\u2190'},   {u"rarr"_qs, u'\u2192'},   {u"uarr"_qs, u'\u2191'},
        {u"darr"_qs, u'\u2193'},   {u"hearts"_qs, u'\u2665'}, {u"iexcl"_qs, u'\u00a1'},
        {u"iquest"_qs, u'\u00bf'}, {u"shy"_qs, u'\u00ad'},    {u"thinsp"_qs, u'\u2009'},
        {u"ensp"_qs, u'\u2002'},   {u"emsp"_qs, u'\u2003'}};
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'&') {
            // The plain run up to the next entity goes as it stands.
            qsizetype end = text.indexOf(u'&', i);
            if (end < 0)
                end = n;
            out += text.sliced(i, end - i);
            i = end - 1;
            continue;
        }
        qsizetype j = i + 1;
        if (j < n && text[j] == u'#') {
            ++j;
            const bool hex = j < n && (text[j] == u'x' || text[j] == u'X');
            if (hex)
                ++j;
            const qsizetype digitsFrom = j;
            char32_t code = 0;
            while (j < n && j - digitsFrom < 8) {
                const int d = digitValue(text[j], hex ? 16 : 10);
                if (d < 0)
                    break;
                code = code * (hex ? 16 : 10) + char32_t(d);
                ++j;
            }
            if (j == digitsFrom) {
                out += c;
                continue;
            }
            if (j < n && text[j] == u';')
                ++j;
            if (code == 0 || code > 0x10ffff || (code >= 0xd800 && code < 0xe000))
                code = 0xfffd;
            out += QString::fromUcs4(&code, 1);
            i = j - 1;
            continue;
        }
        while (j < n && j - i <= 10 && (isAsciiLetter(text[j]) || text[j].isDigit()))
            ++j;
        if (j < n && text[j] == u';' && j > i + 1) {
            const auto found = named.constFind(text.sliced(i + 1, j - i - 1).toString());
            if (found != named.constEnd()) {
                out += QChar(found.value());
                i = j;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool BookmarkFile::open(const QString &path, QString *error)
{
    // A UTF-8 file, as browsers write them, is decoded as it is read: it is never held as
    // bytes and as text at once. Anything else, or a fault on the way, is read whole.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.peek(8192);
        const bool bom = head.startsWith("\xef\xbb\xbf");
        const QString named = bom ? QString() : charsetInHead(head);
        const bool utf16 = head.startsWith("\xff\xfe") || head.startsWith("\xfe\xff");
        if (!utf16 && (bom || named.isEmpty() || is(named, u"utf-8") || is(named, u"utf8"))) {
            *this = BookmarkFile();
            QStringDecoder utf8(QStringDecoder::Utf8);
            m_text.resize(file.size() + 1); // UTF-8 never takes fewer bytes than UTF-16 units
            QChar *const begin = m_text.data();
            QChar *end = begin;
            QByteArray chunk;
            for (;;) {
                QByteArray next = file.read(1 << 20);
                if (next.isEmpty() || end - begin + next.size() > m_text.size())
                    break;
                chunk = std::move(next);
                end = utf8.appendToBuffer(end, chunk);
            }
            m_text.resize(end - begin);
            m_charset = u"UTF-8"_qs;
            // Not UTF-8 after all, and no charset named: a file saved on a Japanese Windows.
            // A file cut inside a character is read whole, as it always was.
            if (file.error() == QFileDevice::NoError && file.atEnd() &&
                !endsInsideCharacter(chunk) && (!utf8.hasError() || !named.isEmpty() || bom))
                return true;
            *this = BookmarkFile();
        }
        file.close();
    }
    QByteArray bytes;
    if (!TextLines::readBytes(path, &bytes, error))
        return false;
    setData(bytes);
    return true;
}

void BookmarkFile::setData(const QByteArray &bytes)
{
    *this = BookmarkFile();
    m_text = decode(bytes, &m_charset);
}

qsizetype BookmarkFile::lineNumber() const
{
    return QStringView(m_text).first(qMin(m_pos, m_text.size())).count(u'\n') + 1;
}

const BookmarkFile::Attribute *BookmarkFile::Tag::find(QStringView wanted) const
{
    for (const Attribute &a : attributes) {
        if (is(a.name, wanted))
            return &a;
    }
    return nullptr;
}

QString BookmarkFile::Tag::attribute(QStringView wanted) const
{
    const Attribute *a = find(wanted);
    return a ? decodeEntities(a->value) : QString();
}

// Reads the tag at m_pos (a "<") and moves past it. Names and attribute values are views
// into the text.
BookmarkFile::TagKind BookmarkFile::readTag(Tag *tag)
{
    const QStringView text(m_text);
    const qsizetype n = text.size();
    qsizetype i = m_pos + 1;
    if (text.mid(m_pos).startsWith(u"<!--")) {
        const qsizetype close = text.indexOf(u"-->", m_pos + 4);
        if (close < 0)
            return TagKind::Broken;
        m_pos = close + 3;
        return TagKind::Skipped;
    }
    if (i < n && (text[i] == u'!' || text[i] == u'?')) {
        const qsizetype close = text.indexOf(u'>', i);
        if (close < 0)
            return TagKind::Broken;
        if (text.sliced(i, close - i).contains(u"netscape-bookmark-file", Qt::CaseInsensitive))
            m_declared = true;
        m_pos = close + 1;
        return TagKind::Skipped;
    }
    tag->end = i < n && text[i] == u'/';
    if (tag->end)
        ++i;
    if (i >= n || !isAsciiLetter(text[i])) {
        ++m_pos;
        return TagKind::Text;
    }
    const qsizetype nameFrom = i;
    while (i < n && !isSpace(text[i]) && text[i] != u'>' && text[i] != u'/')
        ++i;
    tag->name = text.sliced(nameFrom, i - nameFrom);
    tag->attributes.clear();
    if (tag->end) {
        const qsizetype close = text.indexOf(u'>', i);
        if (close < 0)
            return TagKind::Broken;
        m_pos = close + 1;
        return TagKind::Element;
    }
    for (;;) {
        while (i < n && (isSpace(text[i]) || text[i] == u'/'))
            ++i;
        if (i >= n)
            return TagKind::Broken;
        if (text[i] == u'>') {
            m_pos = i + 1;
            return TagKind::Element;
        }
        const qsizetype attrFrom = i;
        ++i; // a name never starts empty, even at a stray "="
        while (i < n && !isSpace(text[i]) && text[i] != u'>' && text[i] != u'=' && text[i] != u'/')
            ++i;
        Attribute attribute{text.sliced(attrFrom, i - attrFrom), QStringView()};
        qsizetype j = i;
        while (j < n && isSpace(text[j]))
            ++j;
        if (j < n && text[j] == u'=') {
            ++j;
            while (j < n && isSpace(text[j]))
                ++j;
            if (j >= n)
                return TagKind::Broken;
            if (text[j] == u'"' || text[j] == u'\'') {
                const qsizetype close = text.indexOf(text[j], j + 1);
                if (close < 0)
                    return TagKind::Broken;
                attribute.value = text.sliced(j + 1, close - j - 1);
                i = close + 1;
            } else {
                const qsizetype valueFrom = j;
                while (j < n && !isSpace(text[j]) && text[j] != u'>')
                    ++j;
                attribute.value = text.sliced(valueFrom, j - valueFrom);
                i = j;
            }
        }
        tag->attributes.push_back(attribute);
    }
}

// The text of a title, heading or link, up to its closing tag or, when that is missing, up to
// the next tag that begins another entry. Other tags inside are passed over.
QString BookmarkFile::readText(QStringView element, QString *exact)
{
    bool closed = false;
    const QStringView text(m_text);
    QString raw;
    Tag tag;
    while (m_pos < text.size()) {
        const qsizetype open = text.indexOf(u'<', m_pos);
        if (open < 0) {
            raw += text.mid(m_pos);
            m_pos = text.size();
            break;
        }
        raw += text.sliced(m_pos, open - m_pos);
        m_pos = open;
        const TagKind kind = readTag(&tag);
        if (kind == TagKind::Broken) {
            m_pos = open; // next() reports it
            break;
        }
        if (kind == TagKind::Text) {
            raw += u'<';
            continue;
        }
        if (kind == TagKind::Skipped)
            continue;
        if (tag.end && is(tag.name, element)) {
            closed = true;
            break;
        }
        if (isStructural(tag.name)) {
            m_pos = open;
            break;
        }
    }
    if (exact)
        *exact = decodeEntities(closed ? QStringView(raw) : QStringView(raw).trimmed());
    return decodeEntities(collapseSpaces(raw));
}

void BookmarkFile::ensureTop()
{
    if (m_topOpen)
        return;
    m_topOpen = true;
    QString title = !m_h1.isEmpty() ? m_h1 : m_docTitle;
    emitItem(Item::FolderStart, title.isEmpty() ? defaultTitle() : title);
}

// A folder heading with no list after it is an empty folder.
void BookmarkFile::flushPendingFolder()
{
    if (!m_pending)
        return;
    m_pending = false;
    emitItem(std::move(m_pendingFolder));
    emitItem(Item::FolderEnd);
}

// Lists left open at the end of the file close there.
void BookmarkFile::finish()
{
    flushPendingFolder();
    while (!m_levels.empty()) {
        if (m_levels.back() == Level::Folder)
            emitItem(Item::FolderEnd);
        m_levels.pop_back();
    }
    if (m_topOpen)
        emitItem(Item::FolderEnd);
    emitItem(Item::End);
    m_finished = true;
}

BookmarkFile::Item BookmarkFile::next()
{
    Tag tag;
    while (m_queue.empty()) {
        if (m_finished) {
            Item end;
            end.kind = m_broken ? Item::Malformed : Item::End;
            return end;
        }
        const qsizetype open = m_text.indexOf(u'<', m_pos);
        if (open < 0) {
            m_pos = m_text.size();
            finish();
            break;
        }
        m_pos = open;
        const TagKind kind = readTag(&tag);
        if (kind == TagKind::Broken) {
            m_finished = true;
            m_broken = true;
            continue;
        }
        if (kind != TagKind::Element)
            continue;
        const QStringView name = tag.name;
        if (tag.end) {
            if (is(name, u"dl")) {
                flushPendingFolder();
                if (!m_levels.empty()) {
                    if (m_levels.back() == Level::Folder)
                        emitItem(Item::FolderEnd);
                    m_levels.pop_back();
                }
            }
            continue;
        }
        if (is(name, u"title")) {
            const QString t = readText(name);
            if (m_docTitle.isEmpty())
                m_docTitle = t;
        } else if (is(name, u"h1")) {
            const QString t = readText(name);
            if (m_h1.isEmpty())
                m_h1 = t;
        } else if (is(name, u"h3") && (m_topOpen || m_declared)) {
            ensureTop();
            flushPendingFolder();
            Item folder;
            folder.kind = Item::FolderStart;
            folder.addDate = addDate(tag.attribute(u"add_date"));
            folder.lastModified = addDate(tag.attribute(u"last_modified"));
            folder.dated = tag.find(u"add_date") != nullptr;
            if (tag.attribute(u"personal_toolbar_folder").compare(u"true", Qt::CaseInsensitive) ==
                0)
                folder.role = Item::Toolbar;
            else if (tag.attribute(u"unfiled_bookmarks_folder")
                         .compare(u"true", Qt::CaseInsensitive) == 0)
                folder.role = Item::Unfiled;
            folder.title = readText(name, &folder.exactTitle);
            m_pendingFolder = std::move(folder);
            m_pending = true;
        } else if (is(name, u"dl")) {
            ensureTop();
            if (m_pending) {
                m_pending = false;
                emitItem(std::move(m_pendingFolder));
                m_levels.push_back(Level::Folder);
            } else {
                m_levels.push_back(Level::List);
            }
        } else if (is(name, u"a") && (m_topOpen || m_declared)) {
            ensureTop();
            flushPendingFolder();
            const Attribute *href = tag.find(u"href");
            Item link;
            link.kind = Item::Link;
            link.addDate = addDate(tag.attribute(u"add_date"));
            link.dated = tag.find(u"add_date") != nullptr;
            link.lastModified = addDate(tag.attribute(u"last_modified"));
            link.url = href ? decodeEntities(href->value) : QString();
            link.icon = tag.attribute(u"icon");
            link.iconUri = tag.attribute(u"icon_uri");
            link.title = readText(name, &link.exactTitle);
            // An anchor without an address (a named anchor) is no bookmark.
            if (href)
                emitItem(std::move(link));
        }
    }
    Item item = std::move(m_queue.front());
    m_queue.pop_front();
    return item;
}

void BookmarkFile::emitItem(Item::Kind kind, QString title, QString url, qint64 date)
{
    Item item;
    item.kind = kind;
    item.exactTitle = title;
    item.title = std::move(title);
    item.url = std::move(url);
    item.addDate = date;
    m_queue.push_back(std::move(item));
}

void BookmarkFile::emitItem(Item item)
{
    m_queue.push_back(std::move(item));
}

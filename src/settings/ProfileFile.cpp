// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileFile.h"

#include "ProfileEscape.h"
#include "base/Cp932.h"
#include "base/TextLines.h"

#include <QFileInfo>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimmed(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The section name of a header line as it is written, or nothing when the line is no header.
std::optional<QStringView> headerName(QStringView line)
{
    const QStringView t = trimmed(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return trimmed(close < 0 ? t.mid(1) : t.mid(1, close - 1));
}

QStringView keyOf(QStringView line)
{
    const qsizetype eq = line.indexOf(u'=');
    return trimmed(eq < 0 ? line : line.left(eq));
}

// A stored name against a wanted one; only a name in the escaped form needs decoding.
bool sameName(QStringView stored, QStringView wanted)
{
    if (stored.startsWith(ProfileEscape::Marker))
        return ProfileEscape::decode(stored).compare(wanted, Qt::CaseInsensitive) == 0;
    return stored.compare(wanted, Qt::CaseInsensitive) == 0;
}

QString valueOf(QStringView line)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return QString();
    QStringView v = trimmed(line.mid(eq + 1));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return ProfileEscape::decode(v);
}

const QByteArray CrLf = QByteArrayLiteral("\r\n");
const QByteArray Lf = QByteArrayLiteral("\n");
const QByteArray Cr = QByteArrayLiteral("\r");

} // namespace

ProfileFile::ProfileFile(const QString &path) : m_path(path) {}

bool ProfileFile::load(QString *error)
{
    m_lines.clear();
    QByteArray bytes;
    if (!TextLines::readBytes(m_path, &bytes, error))
        return false;
    setBytes(bytes);
    return true;
}

template <typename View, typename Append> void ProfileFile::splitLines(View data, Append append)
{
    m_lines.clear();
    m_lineBreak = CrLf;
    bool breakSeen = false;
    const qsizetype n = data.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] != u'\r' && data[i] != u'\n')
            continue;
        append(start, i - start);
        const bool pair = data[i] == u'\r' && i + 1 < n && data[i + 1] == u'\n';
        m_lines.last().lineEnd = pair ? CrLf : data[i] == u'\r' ? Cr : Lf;
        if (!breakSeen)
            m_lineBreak = m_lines.last().lineEnd;
        breakSeen = true;
        if (pair)
            ++i;
        start = i + 1;
    }
    if (start < n)
        append(start, n - start);
}

void ProfileFile::setBytes(const QByteArray &bytes)
{
    // CR and LF are never the second byte of a character, so the bytes split as they are.
    splitLines(QByteArrayView(bytes), [this, &bytes](qsizetype from, qsizetype size) {
        Line line;
        line.bytes = bytes.mid(from, size);
        line.text = Cp932::toUnicode(line.bytes);
        line.kept = true;
        m_lines.append(std::move(line));
    });
}

void ProfileFile::setText(QStringView text)
{
    splitLines(text, [this, text](qsizetype from, qsizetype size) {
        m_lines.append({text.mid(from, size).toString(), QByteArray(), QByteArray(), false});
    });
}

bool ProfileFile::loadForUpdate(QString *error)
{
    return load(error) || !QFileInfo::exists(m_path);
}

bool ProfileFile::save(QString *error) const
{
    QByteArray bytes;
    for (const Line &l : m_lines)
        bytes.append(l.kept ? l.bytes : Cp932::fromUnicode(l.text)).append(l.lineEnd);
    return TextLines::writeFileAtomic(m_path, bytes, error,
                                      m_ownerOnly ? TextLines::Permissions::OwnerOnlyAlways
                                                  : TextLines::Permissions::OwnerOnly);
}

ProfileFile::Range ProfileFile::findSection(const QString &section) const
{
    Range r;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const auto name = headerName(m_lines.at(i).text);
        if (!name)
            continue;
        if (r.header >= 0) {
            r.end = i;
            return r;
        }
        if (sameName(*name, section))
            r.header = i;
    }
    if (r.header >= 0)
        r.end = m_lines.size();
    return r;
}

qsizetype ProfileFile::findKey(const Range &range, const QString &key) const
{
    if (range.header < 0)
        return -1;
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const QString &line = m_lines.at(i).text;
        if (trimmed(line).isEmpty())
            continue;
        if (sameName(keyOf(line), key))
            return i;
    }
    return -1;
}

std::optional<QString> ProfileFile::value(const QString &section, const QString &key) const
{
    const qsizetype i = findKey(findSection(section), key);
    if (i < 0)
        return std::nullopt;
    return valueOf(m_lines.at(i).text);
}

std::optional<QString> ProfileFile::valueIn(QStringView text, const QString &section,
                                            const QString &key)
{
    // As findSection and findKey: the first section of the name, up to the next header, and
    // its first line of the key.
    enum
    {
        Before,
        Inside,
        After
    } where = Before;
    std::optional<QString> found;
    TextLines::forEachLine(text, [&](QStringView line) {
        if (where == After)
            return;
        if (const auto name = headerName(line)) {
            where = where == Inside ? After : sameName(*name, section) ? Inside : Before;
            return;
        }
        if (where == Inside && !trimmed(line).isEmpty() && sameName(keyOf(line), key)) {
            found = valueOf(line);
            where = After;
        }
    });
    return found;
}

std::optional<QStringList> ProfileFile::sectionEntries(const QString &section) const
{
    const Range r = findSection(section);
    if (r.header < 0)
        return std::nullopt;
    QStringList entries;
    for (qsizetype i = r.header + 1; i < r.end; ++i) {
        const QStringView t = trimmed(m_lines.at(i).text);
        if (!t.isEmpty())
            entries.append(t.toString());
    }
    return entries;
}

ProfileFile::Entries ProfileFile::entries(const QString &section) const
{
    const Range r = findSection(section);
    Entries out;
    for (qsizetype i = r.header + 1; r.header >= 0 && i < r.end; ++i) {
        const QString &line = m_lines.at(i).text;
        if (!trimmed(line).isEmpty())
            out.append({ProfileEscape::decode(keyOf(line)), valueOf(line)});
    }
    return out;
}

QStringList ProfileFile::sectionNames() const
{
    QStringList names;
    for (const Line &l : m_lines) {
        if (const auto name = headerName(l.text))
            names.append(ProfileEscape::decode(*name));
    }
    return names;
}

void ProfileFile::insertLine(qsizetype at, const QString &text)
{
    Line line{text, QByteArray(), m_lineBreak, false};
    // After a last line without a line break: that line gets one, and the file still ends
    // without one.
    if (at == m_lines.size() && at > 0 && m_lines.at(at - 1).lineEnd.isEmpty()) {
        m_lines[at - 1].lineEnd = m_lineBreak;
        line.lineEnd.clear();
    }
    m_lines.insert(at, std::move(line));
}

void ProfileFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString line = ProfileEscape::encode(key, ProfileEscape::Kind::Key) + u'=' +
                         ProfileEscape::encode(value, ProfileEscape::Kind::Value);
    const Range r = findSection(section);
    if (r.header < 0) {
        appendSection(section, {});
        insertLine(m_lines.size(), line);
        return;
    }
    const qsizetype i = findKey(r, key);
    if (i >= 0) {
        Line &l = m_lines[i];
        if (l.text != line) {
            l.text = line;
            l.kept = false;
        }
        return;
    }
    qsizetype at = r.end;
    while (at > r.header + 1 && trimmed(m_lines.at(at - 1).text).isEmpty())
        --at;
    insertLine(at, line);
}

void ProfileFile::appendSection(const QString &section, const Entries &entries)
{
    m_lines.reserve(m_lines.size() + entries.size() + 1);
    insertLine(m_lines.size(),
               u'[' + ProfileEscape::encode(section, ProfileEscape::Kind::Section) + u']');
    for (const auto &[key, value] : entries)
        insertLine(m_lines.size(), ProfileEscape::encode(key, ProfileEscape::Kind::Key) + u'=' +
                                       ProfileEscape::encode(value, ProfileEscape::Kind::Value));
}

void ProfileFile::removeKey(const QString &section, const QString &key)
{
    for (;;) {
        const Range r = findSection(section);
        const qsizetype i = findKey(r, key);
        if (i < 0)
            break;
        m_lines.removeAt(i);
        // A section left with nothing in it goes too, as the platform does.
        if (sectionEntries(section)->isEmpty()) {
            removeSection(section);
            break;
        }
    }
}

void ProfileFile::removeSection(const QString &section)
{
    const Range r = findSection(section);
    if (r.header >= 0)
        m_lines.remove(r.header, r.end - r.header);
}

QString ProfileFile::readValue(const QString &path, const QString &section, const QString &key,
                               const QString &defaultValue)
{
    ProfileFile f(path);
    f.load();
    return f.value(section, key).value_or(defaultValue);
}

std::optional<QStringList> ProfileFile::readSection(const QString &path, const QString &section)
{
    ProfileFile f(path);
    f.load();
    return f.sectionEntries(section);
}

bool ProfileFile::writeValue(const QString &path, const QString &section, const QString &key,
                             const QString &value, bool ownerOnly, QString *error)
{
    ProfileFile f(path);
    f.setOwnerOnly(ownerOnly);
    if (!f.loadForUpdate(error))
        return false;
    f.setValue(section, key, value);
    return f.save(error);
}

bool ProfileFile::deleteKey(const QString &path, const QString &section, const QString &key,
                            bool ownerOnly)
{
    ProfileFile f(path);
    f.setOwnerOnly(ownerOnly);
    if (!f.load())
        return !QFileInfo::exists(path);
    if (f.findKey(f.findSection(section), key) < 0)
        return true;
    f.removeKey(section, key);
    return f.save();
}

bool ProfileFile::eraseSection(const QString &path, const QString &section, bool ownerOnly)
{
    ProfileFile f(path);
    f.setOwnerOnly(ownerOnly);
    if (!f.load())
        return !QFileInfo::exists(path);
    if (f.findSection(section).header < 0)
        return true;
    f.removeSection(section);
    return f.save();
}

#include "ProfileFile.h"

#include "Cp932.h"
#include "TextLines.h"

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

// The section name of a header line, or nothing when the line is no header.
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

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

ProfileFile::ProfileFile(const QString &path) : m_path(path) {}

bool ProfileFile::load()
{
    m_lines.clear();
    QString text;
    if (!TextLines::readFile(m_path, &text))
        return false;
    m_lines = TextLines::split(text);
    return true;
}

void ProfileFile::setText(QStringView text)
{
    m_lines = TextLines::split(text);
}

bool ProfileFile::loadForUpdate()
{
    return load() || !QFileInfo::exists(m_path);
}

bool ProfileFile::save(QString *error) const
{
    return TextLines::writeFileAtomic(m_path, Cp932::fromUnicode(TextLines::join(m_lines)), error,
                                      m_ownerOnly ? TextLines::Permissions::OwnerOnlyAlways
                                                  : TextLines::Permissions::OwnerOnly);
}

ProfileFile::Range ProfileFile::findSection(const QString &section) const
{
    Range r;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const auto name = headerName(m_lines.at(i));
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
    const QStringView wanted = trimmed(key);
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const QString &line = m_lines.at(i);
        if (trimmed(line).isEmpty())
            continue;
        if (sameName(keyOf(line), wanted))
            return i;
    }
    return -1;
}

std::optional<QString> ProfileFile::value(const QString &section, const QString &key) const
{
    const qsizetype i = findKey(findSection(section), key);
    if (i < 0)
        return std::nullopt;
    const QString &line = m_lines.at(i);
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return QString();
    QStringView v = trimmed(QStringView(line).mid(eq + 1));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v.toString();
}

std::optional<QStringList> ProfileFile::sectionEntries(const QString &section) const
{
    const Range r = findSection(section);
    if (r.header < 0)
        return std::nullopt;
    QStringList entries;
    for (qsizetype i = r.header + 1; i < r.end; ++i) {
        const QStringView t = trimmed(m_lines.at(i));
        if (!t.isEmpty())
            entries.append(t.toString());
    }
    return entries;
}

void ProfileFile::setValue(const QString &section, const QString &key, const QString &value)
{
    // A line break inside a value would split the entry on the next read.
    QString v = value;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString k = trimmed(key).toString();
    const QString line = k + u'=' + v;
    const Range r = findSection(section);
    if (r.header < 0) {
        m_lines.append(u'[' + trimmed(section).toString() + u']');
        m_lines.append(line);
        return;
    }
    const qsizetype i = findKey(r, k);
    if (i >= 0) {
        m_lines[i] = line;
        return;
    }
    qsizetype at = r.end;
    while (at > r.header + 1 && trimmed(m_lines.at(at - 1)).isEmpty())
        --at;
    m_lines.insert(at, line);
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
                             const QString &value)
{
    ProfileFile f(path);
    if (!f.loadForUpdate())
        return false;
    f.setValue(section, key, value);
    return f.save();
}

bool ProfileFile::deleteKey(const QString &path, const QString &section, const QString &key)
{
    ProfileFile f(path);
    if (!f.load())
        return !QFileInfo::exists(path);
    if (f.findKey(f.findSection(section), key) < 0)
        return true;
    f.removeKey(section, key);
    return f.save();
}

bool ProfileFile::eraseSection(const QString &path, const QString &section)
{
    ProfileFile f(path);
    if (!f.load())
        return !QFileInfo::exists(path);
    if (f.findSection(section).header < 0)
        return true;
    f.removeSection(section);
    return f.save();
}

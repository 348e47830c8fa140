// An INI file from anyone: read, written back and read again. A second write of what was read
// changes no byte, and a value set through IniClass reads back as set while the other entries
// keep theirs.
#include "FuzzSupport.h"
#include "startup/Cp932.h"
#include "startup/IniClass.h"
#include "startup/ProfileFile.h"

namespace {

// What a section, key or value can be for a write to read back exactly.
bool storable(const QString &text, bool isValue)
{
    if (text != text.trimmed() || Cp932::roundTrip(text) != text)
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c == u'\x7f')
            return false;
    if (isValue)
        return !(text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                 text.back() == text.front());
    return !text.isEmpty() && !text.contains(u'=') && !text.contains(u']') &&
           !text.startsWith(u'[');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    // The file, then a section, a key and a value to write, separated by NUL bytes.
    const QList<QByteArray> parts = fuzz::pieces(data, size, 4);
    const QString first = fuzz::scratch() + u"/first.ini"_qs;
    const QString second = fuzz::scratch() + u"/second.ini"_qs;
    QFile::remove(first);
    QFile::remove(second);

    ProfileFile read(first);
    read.setText(Cp932::toUnicode(parts.at(0)));
    fuzz::check(read.save(), "written");
    ProfileFile reread(first);
    fuzz::check(reread.load(), "read back");
    ProfileFile copy(second);
    copy.setText(Cp932::toUnicode(fuzz::readFile(first)));
    fuzz::check(copy.save(), "written again");
    fuzz::check(fuzz::readFile(first) == fuzz::readFile(second), "a second write changes nothing");

    const QString section = Cp932::toUnicode(parts.at(1));
    const QString key = Cp932::toUnicode(parts.at(2));
    const QString value = Cp932::toUnicode(parts.at(3));
    if (!storable(section, false) || !storable(key, false) || !storable(value, true))
        return 0;
    IniClass ini;
    ini.SetFile(first);
    ini.SetSection(section);
    const auto before = reread.sectionEntries(section);
    fuzz::check(ini.T_SaveSetting(key, value), "saved");
    fuzz::check(ini.T_GetSetting(key, u"\x01"_qs) == value, "reads back as saved");
    // Every other key of the section keeps its value.
    ProfileFile after(first);
    after.load();
    if (before) {
        for (const QString &entry : *before) {
            const QString k = entry.section(u'=', 0, 0).trimmed();
            if (!entry.contains(u'=') || k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
                continue;
            fuzz::check(after.value(section, k) == reread.value(section, k), "others unchanged");
        }
    }
    fuzz::check(ini.T_DeleteSetting(key), "deleted");
    // With a second section of the name, the platform reads that one once the first is gone.
    ProfileFile probe = reread;
    int sections = 0;
    while (probe.sectionEntries(section)) {
        probe.removeSection(section);
        ++sections;
    }
    fuzz::check(sections > 1 || ini.T_GetSetting(key, u"\x01"_qs) == u"\x01"_qs,
                "gone once deleted");
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// An INI file from anyone: read and written back byte for byte; then any section, key and
// value set through IniClass reads back as set, every other entry keeps its value and a
// second write of the same changes no byte.
#include "FuzzSupport.h"
#include "settings/IniClass.h"
#include "settings/ProfileFile.h"

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    // The file, then a section, a key and a value to write, separated by NUL bytes, each
    // read as UTF-8 so that the texts reach beyond the code page.
    const QList<QByteArray> parts = fuzz::pieces(data, size, 4);
    const QString path = fuzz::scratch() + u"/first.ini"_qs;
    QFile::remove(path);

    ProfileFile read(path);
    read.setBytes(parts.at(0));
    fuzz::check(read.save(), "written");
    fuzz::check(fuzz::readFile(path) == parts.at(0), "a write of what was read changes nothing");

    const QString section = QString::fromUtf8(parts.at(1));
    const QString key = QString::fromUtf8(parts.at(2));
    const QString value = QString::fromUtf8(parts.at(3));
    if (key.isEmpty())
        return 0; // an empty key stands for the whole section
    IniClass ini;
    ini.SetFile(path);
    ini.SetSection(section);
    fuzz::check(ini.T_SaveSetting(key, value), "saved");
    const QByteArray saved = fuzz::readFile(path);
    fuzz::check(ini.T_GetSetting(key, u"\x01"_qs) == value, "reads back as saved");
    fuzz::check(ini.T_SaveSetting(key, value) && fuzz::readFile(path) == saved,
                "saving the same again changes nothing");
    // Every other key of the section keeps its value.
    ProfileFile after(path);
    after.load();
    for (const auto &[k, v] : read.entries(section)) {
        if (k.compare(key, Qt::CaseInsensitive) != 0)
            fuzz::check(after.value(section, k) == read.value(section, k), "others unchanged");
    }
    fuzz::check(ini.T_DeleteSetting(key), "deleted");
    // With a second section of the name, the platform reads that one once the first is gone.
    ProfileFile probe = read;
    int sections = 0;
    while (probe.sectionEntries(section)) {
        probe.removeSection(section);
        ++sections;
    }
    fuzz::check(sections > 1 || ini.T_GetSetting(key, u"\x01"_qs) == u"\x01"_qs,
                "gone once deleted");
    return 0;
}

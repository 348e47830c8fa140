#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The profile layer under IniClass: what the Windows private-profile functions do, on any
// system. Sections and keys match without regard to letter case; the first of two equal
// sections or keys wins. Lines end in CR LF, LF or CR; blanks around keys and values are
// trimmed and one pair of matching quotes around a value is dropped on read. A write changes
// only the lines it must and replaces the file in one step, keeping every other line as it was.
class ProfileFile
{
public:
    explicit ProfileFile(const QString &path);

    // Reads fail quietly: a missing or unreadable file reads as empty.
    bool load();
    void setText(QStringView text); // parse text already read
    // Loads before a change: false when the file exists but cannot be read, so that a
    // write never replaces a file whose content it did not see.
    bool loadForUpdate();
    bool save(QString *error = nullptr) const;
    // A file that holds secrets (stored FTP passwords): every save leaves it readable by its
    // owner only, also when it was there before with wider permissions. New files always are.
    void setOwnerOnly(bool on) { m_ownerOnly = on; }

    std::optional<QString> value(const QString &section, const QString &key) const;
    // The entries of a section as the platform delivers them ("key=value" text, one a line,
    // blank lines left out); nothing when the section is missing.
    std::optional<QStringList> sectionEntries(const QString &section) const;

    void setValue(const QString &section, const QString &key, const QString &value);
    void removeKey(const QString &section, const QString &key);
    void removeSection(const QString &section);

    // One-call forms for callers that do a single read or write.
    static QString readValue(const QString &path, const QString &section, const QString &key,
                             const QString &defaultValue);
    static std::optional<QStringList> readSection(const QString &path, const QString &section);
    static bool writeValue(const QString &path, const QString &section, const QString &key,
                           const QString &value);
    static bool deleteKey(const QString &path, const QString &section, const QString &key);
    static bool eraseSection(const QString &path, const QString &section);

private:
    struct Range
    {
        qsizetype header = -1; // index of the "[section]" line
        qsizetype end = -1;    // index after the section's last line
    };
    Range findSection(const QString &section) const;
    qsizetype findKey(const Range &range, const QString &key) const;

    QString m_path;
    QStringList m_lines;
    bool m_ownerOnly = false;
};

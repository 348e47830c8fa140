// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

// The profile layer under IniClass: what the Windows private-profile functions do, on any
// system. Sections and keys match without regard to letter case; the first of two equal
// sections or keys wins. Lines end in CR LF, LF or CR; blanks around keys and values are
// trimmed and one pair of matching quotes around a value is dropped on read. Names and values
// that a plain line would not give back are written in the form of ProfileEscape, so every
// one reads back as it was written. The file's lines are kept as bytes: a write changes only
// the lines it must and replaces the file in one step, and every other line keeps its bytes
// and its line break (a new line takes the file's first line break, CR LF in a new file).
class ProfileFile
{
public:
    using Entries = QList<QPair<QString, QString>>; // key, value

    explicit ProfileFile(const QString &path);

    // Reads fail quietly: a missing or unreadable file reads as empty.
    bool load(QString *error = nullptr);
    void setBytes(const QByteArray &bytes); // parse a file's bytes already read
    void setText(QStringView text);         // parse text already read and decoded
    // Loads before a change: false when the file exists but cannot be read, so that a
    // write never replaces a file whose content it did not see.
    bool loadForUpdate(QString *error = nullptr);
    bool save(QString *error = nullptr) const;
    // A file that holds secrets (stored FTP passwords): every save leaves it readable by its
    // owner only, also when it was there before with wider permissions. New files always are.
    void setOwnerOnly(bool on) { m_ownerOnly = on; }

    std::optional<QString> value(const QString &section, const QString &key) const;
    // The entries of a section as the platform delivers them ("key=value" text, one a line,
    // blank lines left out); nothing when the section is missing.
    std::optional<QStringList> sectionEntries(const QString &section) const;
    // The entries of a section as value() reads each, in file order (equal keys included).
    Entries entries(const QString &section) const;
    // The name of every section, in file order (equal names included).
    QStringList sectionNames() const;

    void setValue(const QString &section, const QString &key, const QString &value);
    // A new section with these entries after the last line.
    void appendSection(const QString &section, const Entries &entries);
    void removeKey(const QString &section, const QString &key);
    void removeSection(const QString &section);

    // One value of a text already read, as value() reads it, without keeping its lines:
    // for the many small files read once each.
    static std::optional<QString> valueIn(QStringView text, const QString &section,
                                          const QString &key);

    // One-call forms for callers that do a single read or write; ownerOnly as setOwnerOnly.
    static QString readValue(const QString &path, const QString &section, const QString &key,
                             const QString &defaultValue);
    static std::optional<QStringList> readSection(const QString &path, const QString &section);
    static bool writeValue(const QString &path, const QString &section, const QString &key,
                           const QString &value, bool ownerOnly = false,
                           QString *error = nullptr);
    static bool deleteKey(const QString &path, const QString &section, const QString &key,
                          bool ownerOnly = false);
    static bool eraseSection(const QString &path, const QString &section, bool ownerOnly = false);

private:
    struct Line
    {
        QString text;       // as read, for matching; what is written for a line made here
        QByteArray bytes;   // the line as the file holds it, without its line break
        QByteArray lineEnd; // "\r\n", "\n", "\r", or empty for a last line without one
        bool kept = false;  // bytes hold the line; false once it is changed
    };
    struct Range
    {
        qsizetype header = -1; // index of the "[section]" line
        qsizetype end = -1;    // index after the section's last line
    };
    Range findSection(const QString &section) const;
    qsizetype findKey(const Range &range, const QString &key) const;
    void insertLine(qsizetype at, const QString &text);
    // Calls append(from, size) for each line and gives it its line break.
    template <typename View, typename Append> void splitLines(View data, Append append);

    QString m_path;
    QList<Line> m_lines;
    QByteArray m_lineBreak = "\r\n";
    bool m_ownerOnly = false;
};

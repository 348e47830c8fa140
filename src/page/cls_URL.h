// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// One internet shortcut file of a favorites folder: its title (the file name less ".url"),
// its address, its date, and its records for the restore block. Only the name's and the
// file's bytes are kept; the texts are made from them when the page asks, so a tree of many
// thousands of shortcuts stays small.
class cls_URL
{
public:
    cls_URL() = default;
    cls_URL(const cls_URL &) = delete;
    cls_URL &operator=(const cls_URL &) = delete;

    // folderPath ends in "/". Throws RunError when the file cannot be read.
    void SetFileName(const QString &folderPath, const QString &fileName);
    // The same from the names' own bytes; answers false when the file cannot be read or is
    // no regular file (nothing is opened that could block). With folderFd, the file is
    // opened in the folder open as folderFd, which folderPath names.
    bool load(const QByteArray &folderPath, const QByteArray &nameBytes, int folderFd = -1);
    // A shortcut file is a few lines; one larger than this is refused, not read.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;
    // After a failed load: the file was refused for its size.
    bool tooBig() const { return m_tooBig; }

    // What the import keeps of a bookmark in the shortcut's own section "[Bookmark]", which
    // Windows and the Windows program pass over. Taken only while the file keeps the name the
    // import gave it: a shortcut renamed since shows its new name.
    struct Bookmark
    {
        bool present = false;
        QString title;
        qint64 addDate = -1; // -1: the bookmark had none
        qint64 lastModified = 0;
        QString iconUri;
        QString icon; // a file of the tree's icon folder
    };
    Bookmark BookmarkData() const;
    // The title as text: the bookmark's own, else the file name less ".url".
    QString TitleText() const;

    QString Title() const;
    QString URL() const;
    qint64 Modified() const { return m_modified; }
    // The link record as the Windows program reads it.
    QString DecodeCode(int ParentID) const;
    void appendDecodeCode(QString &out, int ParentID) const;
    // This link's line of the exact part: its date, and its name and bytes where the record
    // alone would not give them back.
    void appendExactCode(QString &out) const;

    // "&", "<", ">" and the double quote as entities, so a title or address cannot leave
    // the attribute or element it is put into.
    static QString EscapeHtml(const QString &text);
    // A title for the page: escaped as above, and every character the code page cannot hold
    // (and every control character) as a numeric character reference; for a page in UTF-8
    // only the control characters.
    static QString PageText(const QString &text, bool utf8 = false);
    // A name for a record of the restore block: no character the code page cannot hold, no
    // line break, no "\", and nothing that ends the comment the block stands in.
    static QString RecordText(const QString &text, bool escapeMarkup);
    // The lines of a text as the block carries them (see RecordText).
    static void appendRecordLine(QString &out, QStringView line);
    // The characters of an address outside ASCII, percent-encoded as UTF-8.
    static QString AddressText(const QString &url);
    // Text of a shortcut file: UTF-16LE or UTF-8 after their byte-order marks, else code
    // page 932.
    static QString FileText(const QByteArray &bytes);
    static QString decodeUtf7(QStringView text);

private:
    QString stem() const; // the file name less ".url", as text
    // What the exact part must carry besides the date; found with the record, which is
    // made first, so the same texts are not made twice.
    enum Exact : quint8
    {
        Unknown = 0,
        Checked = 1,
        NeedsName = 2,
        NeedsBytes = 4
    };
    quint8 exactNeeds() const;
    void appendRecord(QString &out, int ParentID, quint8 *needs) const;

    QByteArray m_name;    // the file name's own bytes
    QByteArray m_content; // the file as read
    qint64 m_modified = 0;
    bool m_tooBig = false;
    mutable quint8 m_exact = Unknown;
};

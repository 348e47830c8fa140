// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <deque>
#include <vector>

// A bookmark file as browsers export it ("bookmarks.html": nested DL lists of H3 folders and
// A HREF links), read item by item. The reader is forgiving the way browsers are: tags in any
// letter case, closing tags present or not, any line layout. The file's own top level comes
// out as one folder named after its H1 (or TITLE). Safari writes no list around its top
// folders; in a file that does not declare itself a bookmark file, links and headings before
// the first list are an ordinary page's, not bookmarks. Nesting is kept on a list of its own, so a
// file nested however deep is read without recursion, in one pass.
class BookmarkFile
{
public:
    struct Item
    {
        enum Kind
        {
            FolderStart, // title, addDate
            FolderEnd,
            Link,      // title, url, addDate
            End,       // the whole file has been read
            Malformed, // the file breaks off inside a tag or comment; nothing follows
        };
        enum Role : quint8
        {
            Plain,
            Toolbar, // PERSONAL_TOOLBAR_FOLDER
            Unfiled, // UNFILED_BOOKMARKS_FOLDER
        };
        Kind kind = End;
        QString title; // blanks and line breaks as one blank, for a file name
        QString url;
        qint64 addDate = 0; // seconds since 1970; 0 when the file gives none
        // What a browser takes from the file besides: the title as written (entities
        // decoded), the other date, the icon (a data: address) and where it came from.
        QString exactTitle;
        qint64 lastModified = 0;
        bool dated = false; // the file names an ADD_DATE, even one of 0
        QString icon;
        QString iconUri;
        Role role = Plain;
    };

    // The role of a folder at the top of a Favorites tree, by the names browsers and Windows
    // give their toolbar and their other bookmarks.
    static Item::Role roleOfTopFolder(QStringView name);
    // The name a folder of that role gets when its own is none of those names.
    static QString roleFolderName(Item::Role role);

    // Reads the file and decodes it by the charset of its META line. False when it cannot
    // be read; *error then names the cause.
    bool open(const QString &path, QString *error = nullptr);
    void setData(const QByteArray &bytes);

    Item next();

    // The name the top folder gets when the file names none.
    static QString defaultTitle();
    // The start of a file written as a bookmark file: its DOCTYPE, or a list of bookmarks.
    static bool looksLikeBookmarkFile(QByteArrayView head);
    // The text of the file: a BOM first, else the charset named by a META line, else UTF-8
    // (code page 932 for bytes that are not UTF-8).
    static QString decode(QByteArrayView bytes, QString *charset = nullptr);
    // "&amp;", "&#38;", "&#x26;" and the common named entities; unknown ones stay as written.
    static QString decodeEntities(QStringView text);

    const QString &charset() const { return m_charset; }
    qsizetype position() const { return m_pos; }
    qsizetype size() const { return m_text.size(); }
    // The line (from 1) the reader stopped at; counted only when asked, for a message.
    qsizetype lineNumber() const;

private:
    struct Attribute
    {
        QStringView name;
        QStringView value;
    };
    struct Tag
    {
        QStringView name;
        bool end = false;
        std::vector<Attribute> attributes;
        const Attribute *find(QStringView name) const;
        QString attribute(QStringView name) const;
    };
    enum class Level
    {
        Folder,
        List, // a DL that opens no folder of its own: the top list, or a stray one
    };

    enum class TagKind
    {
        Element, // a start or end tag
        Skipped, // a comment, DOCTYPE or processing instruction
        Text,    // a "<" that opens no tag: plain text
        Broken,  // the file ends inside it
    };
    TagKind readTag(Tag *tag);
    // exact, when given, receives the text as written: entities decoded, blanks kept, and
    // trimmed only when the element is not closed by its own end tag.
    QString readText(QStringView element, QString *exact = nullptr);
    void ensureTop();
    void flushPendingFolder();
    void finish();
    void emitItem(Item::Kind kind, QString title = QString(), QString url = QString(),
                  qint64 addDate = 0);
    void emitItem(Item item);

    QString m_text;
    qsizetype m_pos = 0;
    QString m_charset;
    QString m_docTitle;
    QString m_h1;
    bool m_declared = false; // the NETSCAPE-Bookmark-file DOCTYPE
    bool m_topOpen = false;
    bool m_finished = false;
    bool m_broken = false;
    bool m_pending = false;
    Item m_pendingFolder;
    std::vector<Level> m_levels;
    std::deque<Item> m_queue;
};

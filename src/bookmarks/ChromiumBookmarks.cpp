// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChromiumBookmarks.h"

#include "BookmarkTree.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <rapidjson/filereadstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <sys/stat.h>
#include <vector>

namespace {

using Item = BookmarkFile::Item;

// A browser's title is exact as it stands: the file name made of it may differ.
Item item(Item::Kind kind, const QString &title, const QString &url, qint64 addDate)
{
    Item i;
    i.kind = kind;
    i.title = title;
    i.exactTitle = title;
    i.url = url;
    i.addDate = addDate;
    return i;
}

// The file is read as it streams past (RapidJSON's SAX reader): only the bookmarks are kept,
// never the document. Chromium writes a node's keys in alphabetical order, so a folder's
// "children" come before its "name" and "type": each node takes a place among the items when it
// opens, and is filled in, or dropped with what it holds, when it closes.
class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler>
{
public:
    struct Root;

private:
    enum class Field
    {
        None,
        Other,
        Roots,
        BookmarkBar,
        OtherBookmarks,
        Synced,
        Children,
        Type,
        Name,
        Url,
        DateAdded,
    };
    struct Frame
    {
        enum Kind
        {
            Skip,
            Document,
            Roots,
            Node,     // a root or a node below one
            Children, // a node's "children"
        } kind;
        enum Type
        {
            Unknown,
            Folder,
            Url,
        } type = Unknown;
        Root *root = nullptr;
        size_t start = 0;       // its place among the items
        qsizetype keys = 0;     // how many the node has
        qsizetype children = 0; // values in "children", of whatever kind
        QString name;
        QString url;
        qint64 date = 0;

        explicit Frame(Kind k) : kind(k) {}
    };

public:
    struct Root
    {
        const char *key;
        const char16_t *name;
        bool always; // written even when empty
        bool present;
        std::vector<Item> items;
    };
    Root roots[3] = {{"bookmark_bar", u"ブックマーク バー", true, false, {}},
                     {"other", u"その他のブックマーク", true, false, {}},
                     {"synced", u"モバイルのブックマーク", false, false, {}}};

    bool StartObject()
    {
        const Field key = m_key;
        Frame *parent = value();
        if (!parent) {
            m_frames.emplace_back(Frame::Document);
        } else if (parent->kind == Frame::Document && key == Field::Roots) {
            m_frames.emplace_back(Frame::Roots);
        } else if (parent->kind == Frame::Roots && key >= Field::BookmarkBar &&
                   key <= Field::Synced) {
            Root &root = roots[int(key) - int(Field::BookmarkBar)];
            root.present = true;
            root.items.clear(); // a key given twice: the last one holds
            m_items = &root.items;
            Frame frame(Frame::Node);
            frame.root = &root;
            frame.start = 0;
            m_items->push_back(item(Item::FolderStart, QString(), QString(), 0));
            m_frames.push_back(std::move(frame));
        } else if (parent->kind == Frame::Children && m_items) {
            Frame frame(Frame::Node);
            frame.start = m_items->size();
            m_items->push_back(item(Item::FolderStart, QString(), QString(), 0));
            m_frames.push_back(std::move(frame));
        } else {
            m_frames.emplace_back(Frame::Skip);
        }
        m_key = Field::None;
        return true;
    }
    bool Key(const char *s, rapidjson::SizeType length, bool)
    {
        if (m_frames.back().kind == Frame::Node)
            ++m_frames.back().keys;
        m_key = keyOf(m_frames.back().kind, s, length);
        return true;
    }
    bool EndObject(rapidjson::SizeType)
    {
        Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        if (frame.kind == Frame::Node && m_items)
            closeNode(frame);
        if (frame.kind == Frame::Node && frame.root)
            m_items = nullptr;
        return true;
    }
    bool StartArray()
    {
        const Field key = m_key;
        Frame *parent = value();
        const bool children = parent && parent->kind == Frame::Node && key == Field::Children;
        m_frames.emplace_back(children && m_items ? Frame::Children : Frame::Skip);
        return true;
    }
    bool EndArray(rapidjson::SizeType)
    {
        const Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        if (frame.kind == Frame::Children)
            m_frames.back().children = frame.children;
        return true;
    }
    bool String(const char *s, rapidjson::SizeType length, bool)
    {
        const Field key = m_key;
        Frame *node = value();
        if (!node || node->kind != Frame::Node)
            return true;
        switch (key) {
        case Field::Type:
            node->type = length == 6 && std::memcmp(s, "folder", 6) == 0 ? Frame::Folder
                         : length == 3 && std::memcmp(s, "url", 3) == 0  ? Frame::Url
                                                                         : Frame::Unknown;
            break;
        case Field::Name:
            node->name = QString::fromUtf8(s, length);
            break;
        case Field::Url:
            node->url = QString::fromUtf8(s, length);
            break;
        case Field::DateAdded:
            node->date = toUnixSeconds(s, length);
            break;
        default:
            break;
        }
        return true;
    }
    bool Default()
    {
        value();
        return true;
    }
    bool RawNumber(const char *, rapidjson::SizeType, bool) { return Default(); }

private:
    static qint64 toUnixSeconds(const char *s, rapidjson::SizeType length)
    {
        // Chromium writes plain digits; anything else is read as a number is read anywhere.
        if (length == 0 || length > 18)
            return ChromiumBookmarks::toUnixSeconds(QString::fromUtf8(s, length));
        qint64 value = 0;
        for (rapidjson::SizeType i = 0; i < length; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return ChromiumBookmarks::toUnixSeconds(QString::fromUtf8(s, length));
            value = value * 10 + (s[i] - '0');
        }
        constexpr qint64 From1601To1970 = 11644473600;
        return value / 1000000 <= From1601To1970 ? 0 : value / 1000000 - From1601To1970;
    }

    static Field keyOf(Frame::Kind in, const char *s, rapidjson::SizeType length)
    {
        const auto is = [&](const char *word) {
            return std::strlen(word) == length && std::memcmp(s, word, length) == 0;
        };
        switch (in) {
        case Frame::Document:
            return is("roots") ? Field::Roots : Field::Other;
        case Frame::Roots:
            return is("bookmark_bar") ? Field::BookmarkBar
                   : is("other")      ? Field::OtherBookmarks
                   : is("synced")     ? Field::Synced
                                      : Field::Other;
        case Frame::Node:
            return is("children")     ? Field::Children
                   : is("type")       ? Field::Type
                   : is("name")       ? Field::Name
                   : is("url")        ? Field::Url
                   : is("date_added") ? Field::DateAdded
                                      : Field::Other;
        default:
            return Field::Other;
        }
    }

    // A value starts in the innermost frame: it is counted there, and that frame is handed back
    // for the value to be stored in (none at the top).
    Frame *value()
    {
        if (m_frames.empty())
            return nullptr;
        Frame &in = m_frames.back();
        if (in.kind == Frame::Children)
            ++in.children;
        return &in;
    }

    void closeNode(Frame &frame)
    {
        std::vector<Item> &items = *m_items;
        if (frame.root) {
            // An empty root object is left out, and an empty mobile root.
            if (frame.keys == 0 || (frame.children == 0 && !frame.root->always)) {
                items.clear();
                frame.root->present = false;
                return;
            }
            items[0] = item(Item::FolderStart, QString::fromUtf16(frame.root->name), QString(),
                            frame.date);
            items.push_back(item(Item::FolderEnd, QString(), QString(), 0));
            return;
        }
        if (frame.type == Frame::Folder) {
            items[frame.start] = item(Item::FolderStart, frame.name, QString(), frame.date);
            items.push_back(item(Item::FolderEnd, QString(), QString(), 0));
            return;
        }
        // What a link or an unknown node holds is not read.
        items.resize(frame.start);
        if (frame.type == Frame::Url && !frame.url.isEmpty())
            items.push_back(item(Item::Link, frame.name.isEmpty() ? frame.url : frame.name,
                                 frame.url, frame.date));
    }

    std::vector<Frame> m_frames;
    Field m_key = Field::None;
    std::vector<Item> *m_items = nullptr; // the open root's
};

template <typename Stream> bool parse(Stream &in, BookmarkTree *tree, QString *error)
{
    // A byte order mark before the document is passed over.
    if (in.Peek() == '\xEF') {
        in.Take();
        if (in.Take() != '\xBB' || in.Take() != '\xBF') {
            *error = u"Chromium 系ブラウザのブックマークとして読めません (JSON の 0 バイト目)"_qs;
            return false;
        }
    }
    Handler handler;
    rapidjson::Reader reader;
    constexpr unsigned flags = rapidjson::kParseIterativeFlag |
                               rapidjson::kParseValidateEncodingFlag |
                               rapidjson::kParseNumbersAsStringsFlag;
    if (reader.Parse<flags>(in, handler).IsError()) {
        *error = u"Chromium 系ブラウザのブックマークとして読めません (JSON の "_qs +
                 QString::number(reader.GetErrorOffset()) + u" バイト目)"_qs;
        return false;
    }
    bool found = false;
    for (const Handler::Root &r : handler.roots)
        found = found || r.present;
    if (!found) {
        *error = u"Chromium 系ブラウザのブックマークが見つかりません"_qs;
        return false;
    }
    for (Handler::Root &r : handler.roots)
        tree->append(std::move(r.items));
    return true;
}

} // namespace

qint64 ChromiumBookmarks::toUnixSeconds(const QString &microseconds)
{
    constexpr qint64 From1601To1970 = 11644473600;
    bool ok = false;
    const qint64 value = microseconds.toLongLong(&ok);
    if (!ok || value / 1000000 <= From1601To1970)
        return 0;
    return value / 1000000 - From1601To1970;
}

bool ChromiumBookmarks::read(const QString &path, BookmarkTree *tree, QString *error)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    struct stat st;
    if (file && (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (!file) {
        *error = u"ファイルを開く事が出来ません ["_qs + path + u"]"_qs;
        return false;
    }
    char buffer[64 * 1024];
    rapidjson::FileReadStream in(file, buffer, sizeof buffer);
    const bool ok = parse(in, tree, error);
    const bool readError = std::ferror(file);
    std::fclose(file);
    if (ok)
        return true;
    if (readError)
        *error = u"ファイルを読み込めません"_qs;
    *error += u" ["_qs + path + u"]"_qs;
    return false;
}

bool ChromiumBookmarks::readData(const QByteArray &json, BookmarkTree *tree, QString *error)
{
    rapidjson::MemoryStream in(json.constData(), size_t(json.size()));
    return parse(in, tree, error);
}

#include "ChromiumBookmarks.h"

#include "BookmarkTree.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = u"ファイルを開く事が出来ません ["_qs + path + u"]"_qs;
        return false;
    }
    if (readData(file.readAll(), tree, error))
        return true;
    *error += u" ["_qs + path + u"]"_qs;
    return false;
}

bool ChromiumBookmarks::readData(const QByteArray &json, BookmarkTree *tree, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        *error = u"Chromium 系ブラウザのブックマークとして読めません (JSON の "_qs +
                 QString::number(parseError.offset) + u" バイト目)"_qs;
        return false;
    }
    const QJsonObject roots = document.object().value(u"roots").toObject();
    struct Root
    {
        const char16_t *key;
        const char16_t *name;
        bool always; // written even when empty
    };
    static const Root names[] = {{u"bookmark_bar", u"ブックマーク バー", true},
                                 {u"other", u"その他のブックマーク", true},
                                 {u"synced", u"モバイルのブックマーク", false}};
    bool found = false;
    for (const Root &r : names)
        found = found || roots.value(QStringView(r.key)).isObject();
    if (!found) {
        *error = u"Chromium 系ブラウザのブックマークが見つかりません"_qs;
        return false;
    }

    // Depth first without recursion, from a stack of the open folders' children.
    struct Level
    {
        QJsonArray children;
        qsizetype next;
    };
    for (const Root &r : names) {
        const QJsonObject root = roots.value(QStringView(r.key)).toObject();
        const QJsonArray top = root.value(u"children").toArray();
        if (root.isEmpty() || (top.isEmpty() && !r.always))
            continue;
        tree->startFolder(QString::fromUtf16(r.name),
                          toUnixSeconds(root.value(u"date_added").toString()));
        std::vector<Level> stack{{top, 0}};
        while (!stack.empty()) {
            if (stack.back().next >= stack.back().children.size()) {
                tree->endFolder();
                stack.pop_back();
                continue;
            }
            const QJsonObject node = stack.back().children.at(stack.back().next++).toObject();
            const QString type = node.value(u"type").toString();
            const QString name = node.value(u"name").toString();
            const qint64 date = toUnixSeconds(node.value(u"date_added").toString());
            if (type == u"folder"_qs) {
                tree->startFolder(name, date);
                stack.push_back({node.value(u"children").toArray(), 0});
            } else if (type == u"url"_qs) {
                const QString url = node.value(u"url").toString();
                if (!url.isEmpty())
                    tree->addLink(name.isEmpty() ? url : name, url, date);
            }
        }
    }
    return true;
}

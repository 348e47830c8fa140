// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_ConfigDatas.h"

#include "base/RunError.h"
#include "cls_ConfigData.h"
#include "page/cls_FileSystemObject.h"

void cls_ConfigDatas::setPath(const QString &Path)
{
    setPaths({Path});
}

void cls_ConfigDatas::setPaths(const QStringList &Paths)
{
    int nextIndex = 1;
    for (const QString &path : Paths)
        ConfigSearch(path, nextIndex, true);
}

std::shared_ptr<cls_ConfigData> cls_ConfigDatas::Item(int Index) const
{
    for (const auto &item : m_items) {
        if (item->Index() == Index)
            return item;
    }
    return nullptr;
}

void cls_ConfigDatas::ConfigSearch(const QString &folder, int &nextIndex, bool topLevel)
{
    const QString path = folder.endsWith(u'/') ? folder : folder + u'/';
    const cls_FileSystemObject fso;
    QStringList files;
    QStringList folders;
    try {
        files = fso.Files(path);
        folders = fso.Folders(path);
    } catch (const RunError &) {
        // A folder that cannot be listed offers no definitions; the rest are still found.
        return;
    }
    for (const QString &name : files) {
        if (name.right(5).toUpper() != u".HTML"_qs)
            continue;
        auto item = std::make_shared<cls_ConfigData>();
        item->setFileName(path + name);
        if (!item->ConfigCheck())
            continue;
        item->setIndex(nextIndex++);
        m_items.append(item);
    }
    const QString configFolder = (path + u"Config"_qs).toUpper();
    for (const QString &sub : folders) {
        if (!topLevel || sub.toUpper() == configFolder)
            ConfigSearch(sub, nextIndex, false);
    }
}

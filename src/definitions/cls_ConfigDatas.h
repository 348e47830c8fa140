// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class cls_ConfigData;

// The conversion definitions installed beside the program: the ".html" files in the program
// folder, then those in its "Config" folder (any letter case) and every folder below it; the
// same again for every further folder of setPaths, numbered on.
class cls_ConfigDatas
{
public:
    using ConfigList = QList<std::shared_ptr<cls_ConfigData>>;

    // Runs the scan once; set it once, right after creation.
    void setPath(const QString &Path);
    void setPaths(const QStringList &Paths);
    // In discovery order; Index counts from 1 without gaps.
    const ConfigList &Items() const { return m_items; }
    std::shared_ptr<cls_ConfigData> Item(int Index) const;

private:
    void ConfigSearch(const QString &folder, int &nextIndex, bool topLevel);

    ConfigList m_items;
};

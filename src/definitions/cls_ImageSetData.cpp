// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_ImageSetData.h"

#include "cls_ImageData.h"
#include "settings/ProfileFile.h"

void cls_ImageSetData::DataLoad(const ProfileFile &IniCls, int Index,
                                const QList<std::shared_ptr<cls_ImageData>> &ImageList)
{
    m_files.clear();
    m_index = Index;
    // The section read once: a lookup per slot would make a long list slow to load.
    QHash<QString, QString> values;
    for (const auto &[key, value] : IniCls.entries(u"ImageSet_"_qs + QString::number(Index))) {
        const QString folded = key.toCaseFolded();
        if (!values.contains(folded))
            values.insert(folded, value);
    }
    for (const auto &image : ImageList) {
        const QString key = image->BaseName().toUpper();
        if (!m_files.contains(key))
            m_files.insert(key, values.value(image->BaseName().toCaseFolded()));
    }
    m_caption = values.value(u"name"_qs);
}

QString cls_ImageSetData::FileName(const QString &ImageName) const
{
    return m_files.value(ImageName.toUpper());
}

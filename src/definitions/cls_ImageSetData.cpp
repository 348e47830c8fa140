#include "cls_ImageSetData.h"

#include "cls_ImageData.h"
#include "startup/ProfileFile.h"

void cls_ImageSetData::DataLoad(const ProfileFile &IniCls, int Index,
                                const QList<std::shared_ptr<cls_ImageData>> &ImageList)
{
    m_files.clear();
    m_index = Index;
    const QString section = u"ImageSet_"_qs + QString::number(Index);
    for (const auto &image : ImageList) {
        const QString key = image->BaseName().toUpper();
        if (!m_files.contains(key))
            m_files.insert(key, IniCls.value(section, image->BaseName()).value_or(QString()));
    }
    m_caption = IniCls.value(section, u"Name"_qs).value_or(QString());
}

QString cls_ImageSetData::FileName(const QString &ImageName) const
{
    return m_files.value(ImageName.toUpper());
}

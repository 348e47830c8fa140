// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class ProfileFile;
class cls_ImageData;

// A ready-made choice of replacement files, one per image slot, offered by a definition.
class cls_ImageSetData
{
public:
    // Reads section "ImageSet_<Index>" of the image list: key "Name" and one key per slot.
    void DataLoad(const ProfileFile &IniCls, int Index,
                  const QList<std::shared_ptr<cls_ImageData>> &ImageList);
    int Index() const { return m_index; }
    const QString &Caption() const { return m_caption; }
    // As the image list writes it (relative or full); empty for a name that is no slot's.
    QString FileName(const QString &ImageName) const;

private:
    int m_index = 0;
    QString m_caption;
    QHash<QString, QString> m_files; // by upper-cased slot BaseName
};

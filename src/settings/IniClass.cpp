// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniClass.h"

#include "ProfileEscape.h"
#include "ProfileFile.h"

QString IniClass::T_GetSetting(const QString &Key, const QString &Default,
                               const QString &Section) const
{
    return ProfileFile::readValue(m_fileName, sectionOr(Section), Key, Default);
}

IniClass::Table IniClass::T_GetAllSettings(const QString &Section) const
{
    const auto entries = ProfileFile::readSection(m_fileName, sectionOr(Section));
    return entries ? ParseSection(*entries) : Table();
}

IniClass::Table IniClass::ParseSection(const QStringList &entries)
{
    Table rows;
    for (const QString &e : entries) {
        const qsizetype eq = e.indexOf(u'=');
        if (eq < 0)
            continue;
        rows.append({ProfileEscape::decode(e.left(eq)), ProfileEscape::decode(e.mid(eq + 1))});
    }
    return rows;
}

bool IniClass::T_SaveSetting(const QString &Key, const QString &Setting, const QString &Section)
{
    m_lastError.clear();
    return ProfileFile::writeValue(m_fileName, sectionOr(Section), Key, Setting, m_ownerOnly,
                                   &m_lastError);
}

bool IniClass::T_DeleteSetting(const QString &Key, const QString &Section)
{
    if (Key.isEmpty())
        return ProfileFile::eraseSection(m_fileName, sectionOr(Section), m_ownerOnly);
    return ProfileFile::deleteKey(m_fileName, sectionOr(Section), Key, m_ownerOnly);
}

void IniClass::FormSaveSetting(const FormState &SaveForm, const QString &Section)
{
    if (SaveForm.maximized)
        return;
    ProfileFile f(m_fileName);
    f.setOwnerOnly(m_ownerOnly);
    if (!f.loadForUpdate())
        return;
    const QString s = sectionOr(Section);
    f.setValue(s, SaveForm.name + u"_Top"_qs, QString::number(SaveForm.twips.y()));
    f.setValue(s, SaveForm.name + u"_Left"_qs, QString::number(SaveForm.twips.x()));
    f.setValue(s, SaveForm.name + u"_Width"_qs, QString::number(SaveForm.twips.width()));
    f.setValue(s, SaveForm.name + u"_Height"_qs, QString::number(SaveForm.twips.height()));
    f.save();
}

void IniClass::ListGetSetting(const QString &Key, QStringList &DataList,
                              const QString &Section) const
{
    ProfileFile f(m_fileName);
    f.load();
    const QString s = sectionOr(Section);
    for (qsizetype i = 0; i < DataList.size(); ++i)
        DataList[i] = f.value(s, Key + u'_' + QString::number(i)).value_or(DataList.at(i));
}

void IniClass::ListSaveSetting(const QString &Key, const QStringList &DataList,
                               const QString &Section)
{
    ProfileFile f(m_fileName);
    f.setOwnerOnly(m_ownerOnly);
    if (!f.loadForUpdate())
        return;
    const QString s = sectionOr(Section);
    for (qsizetype i = 0; i < DataList.size(); ++i)
        f.setValue(s, Key + u'_' + QString::number(i), DataList.at(i));
    f.save();
}

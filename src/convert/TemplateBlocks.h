#pragma once

#include <QString>
#include <QStringList>

// What the folder tree needs of a conversion definition: blocks of its template filled with
// the parameters last handed in.
class TemplateBlocks
{
public:
    virtual ~TemplateBlocks() = default;
    virtual void Htmlcfg_SetParameter(const QStringList &parameters) = 0;
    virtual QString Htmlcfg_GetSetting(const QString &Key) const = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class cls_ConfigData;
class cls_ConfigDatas;

// vellumdex-cli: the core driven from scripts. It reads the stored "System" settings as
// defaults and never writes settings.
class CliTool
{
public:
    int run(const QStringList &arguments);

private:
    int convert(const QStringList &arguments, bool toFtp = false);
    int restore(const QStringList &arguments);
    int import(const QStringList &arguments);
    int definitions(const QStringList &arguments);
    int profiles(const QStringList &arguments);
    int publish(const QStringList &arguments);
    int connections(const QStringList &arguments);
    int usage(int status);
    // The version and the settings and definition folders in use.
    int version();

    cls_ConfigData *chooseDefinition(cls_ConfigDatas &catalogue, const QString &caption);
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramIcon.h"

#include <QString>

// The library is static: its resources are registered by a call that the linker can see
// (outside any namespace, as the registration function is global).
static void ensureResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(vellumdex);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

const QString IconPath = u":/vellumdex/vellumdex.png"_qs;

} // namespace

namespace ProgramIcon {

QIcon icon()
{
    ensureResources();
    return QIcon(IconPath);
}

QPixmap pixmap()
{
    ensureResources();
    return QPixmap(IconPath);
}

} // namespace ProgramIcon

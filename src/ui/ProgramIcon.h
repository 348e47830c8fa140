// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, from the window library's resources.
namespace ProgramIcon {

QIcon icon();
QPixmap pixmap();

} // namespace ProgramIcon

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Qt's own Japanese texts (its dialogs, standard buttons, context menus) from Qt's
// translations folder, whatever language the desktop is set to: the program speaks Japanese
// throughout.
namespace AppTranslation {

// Once, after the application object is made; false when Qt's translation is not installed.
bool install();

} // namespace AppTranslation

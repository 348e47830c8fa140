// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What an image slot needs of the controls that show it in the definition editor: the file
// text box, the preview and the replace check box. The slot keeps its view up to date itself;
// a view unbinds itself (setView(nullptr)) before it goes away.
class ImageSlotView
{
public:
    virtual ~ImageSlotView() = default;
    virtual void showFileText(const QString &text) = 0;
    // file is the chosen replacement file, or empty for an empty preview; ImagePreview says
    // how to load it and where to place it in the frame.
    virtual void showPicture(const QString &file) = 0;
    virtual void showCheckBox(bool checked) = 0;
};

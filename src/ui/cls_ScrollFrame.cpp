// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_ScrollFrame.h"

#include "Twips.h"

#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Nearest integer, an exact half to the even neighbour.
qint64 roundHalfEven(double value)
{
    return qint64(std::nearbyint(value));
}

} // namespace

cls_ScrollFrame::cls_ScrollFrame(QObject *parent) : QObject(parent) {}

void cls_ScrollFrame::MoveCtlAdd(QWidget *control)
{
    MoveCtls.append(control);
}

void cls_ScrollFrame::SetScrollBar(QScrollBar *bar)
{
    if (ctlScrollBar)
        disconnect(ctlScrollBar, nullptr, this, nullptr);
    ctlScrollBar = bar;
    if (ctlScrollBar)
        connect(ctlScrollBar, &QScrollBar::valueChanged, this,
                &cls_ScrollFrame::ctlScrollBar_Change);
    ResetScrollBar();
}

void cls_ScrollFrame::SetFrame(QWidget *frame)
{
    FrameCtl = frame;
}

void cls_ScrollFrame::Refreash()
{
    ResetScrollBar();
}

void cls_ScrollFrame::ResetScrollBar()
{
    if (!ctlScrollBar || !FrameCtl)
        return;
    const QRect frame = FrameCtl->geometry();
    const int barWidth =
        ctlScrollBar->width() > 0 ? ctlScrollBar->width() : ctlScrollBar->sizeHint().width();
    ctlScrollBar->setGeometry(frame.left() + frame.width() - barWidth, frame.top(), barWidth,
                              frame.height());
    ctlScrollBar->raise();
    ctlScrollBar->setVisible(true);

    const int frameHeight = Twips::fromPixels(frame.height(), FrameCtl);
    const qint64 overflow = qint64(m_height) - frameHeight;
    // A step of 0 cannot divide the overflow: such content does not scroll at all.
    if (overflow > 0 && m_moveStep > 0) {
        ctlScrollBar->setEnabled(true);
        const int steps =
            int(std::min<qint64>(roundHalfEven(double(overflow) / m_moveStep), MaxSteps));
        ctlScrollBar->setSingleStep(1);
        ctlScrollBar->setPageStep(std::max(1, frameHeight / m_moveStep));
        // Lowering the maximum below the value moves the content as a scroll does.
        ctlScrollBar->setRange(0, steps);
        ctlScrollBar->setValue(
            int(std::clamp<qint64>(roundHalfEven(double(m_scrollTop) / m_moveStep), 0, steps)));
    } else {
        ctlScrollBar->setEnabled(false);
    }
}

void cls_ScrollFrame::ctlScrollBar_Change(int value)
{
    const int offset = value * m_moveStep;
    if (offset != m_scrollTop) {
        for (const QPointer<QWidget> &control : std::as_const(MoveCtls)) {
            if (!control)
                continue;
            // Whole offsets are converted, so that no rounding piles up over many scrolls.
            const int shift =
                Twips::toPixels(offset, control) - Twips::toPixels(m_scrollTop, control);
            control->move(control->x(), control->y() - shift);
        }
    }
    m_scrollTop = offset;
}

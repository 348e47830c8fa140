// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QScrollBar;
class QWidget;

// Scrolls a fixed-size container vertically over taller content: lays a bar along the
// container's right inner edge, gives it a range from the content height and, when it moves,
// shifts the registered controls by the distance scrolled. Lengths are in twips.
class cls_ScrollFrame : public QObject
{
    Q_OBJECT

public:
    explicit cls_ScrollFrame(QObject *parent = nullptr);

    void MoveCtlAdd(QWidget *control);
    void SetScrollBar(QScrollBar *bar);
    void SetFrame(QWidget *frame);
    // Twips per scroll-bar unit.
    void setMoveStep(int MoveStep) { m_moveStep = MoveStep; }
    // Total height of the content.
    void setHeight(int Height) { m_height = Height; }
    void Refreash();

    // How far the content is scrolled now.
    int ScrollTop() const { return m_scrollTop; }

    // The bar's values are 16-bit, as the bars the layouts were made for.
    static constexpr int MaxSteps = 32767;

private:
    void ResetScrollBar();
    void ctlScrollBar_Change(int value);

    QPointer<QScrollBar> ctlScrollBar;
    QPointer<QWidget> FrameCtl;
    QList<QPointer<QWidget>> MoveCtls;
    int m_moveStep = 0;
    int m_height = 0;
    int m_scrollTop = 0;
};

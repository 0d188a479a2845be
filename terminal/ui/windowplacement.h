#pragma once
// Where the main window is put at start and what is kept of it at exit, as
// whole-window rectangles (decorations included) in screen pixels.

#include <QList>
#include <QMargins>
#include <QRect>

namespace placement {

// The rectangle to keep for a window whose frame is `frame` now. A minimised
// window keeps where it would be restored to (`normal`, the inside of the
// restored window, grown by `decoration`): the minimised rectangle itself
// lies off the screen on some systems.
QRect ToStore(const QRect& frame, bool minimized, const QRect& normal, const QMargins& decoration);

// `stored` as it is when any part of it is on one of `screens`; otherwise the
// same size, no larger than the primary screen, at the primary screen's top
// left, so a window left on a screen since unplugged can be reached again.
QRect OnScreen(const QRect& stored, const QList<QRect>& screens, const QRect& primary);

} // namespace placement

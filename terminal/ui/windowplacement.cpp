#include "windowplacement.h"

#include <algorithm>

namespace placement {

QRect ToStore(const QRect& frame, bool minimized, const QRect& normal, const QMargins& decoration)
{
    if (minimized && normal.isValid())
        return normal + decoration;
    return frame;
}

QRect OnScreen(const QRect& stored, const QList<QRect>& screens, const QRect& primary)
{
    const bool visible = std::any_of(screens.cbegin(), screens.cend(),
                                     [&](const QRect& screen) { return screen.intersects(stored); });
    if (visible || primary.isEmpty())
        return stored;
    return QRect(primary.topLeft(), stored.size().boundedTo(primary.size()));
}

} // namespace placement

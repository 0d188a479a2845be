#pragma once
// The terminal's pictures, compiled into the program: the toolbar's image
// strip and the program icon.

#include <QIcon>
#include <QPixmap>

// Ten 16 x 15 images side by side, in toolbar button order.
QPixmap ToolbarStrip();
// The program icon at 16, 32 and 48 pixels.
QIcon ProgramIcon();

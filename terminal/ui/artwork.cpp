#include "artwork.h"

#include "programicon.h"

QPixmap ToolbarStrip()
{
    return QPixmap(QStringLiteral(":/icons/toolbar.png"));
}

QIcon ProgramIcon()
{
    return fw::ProgramIcon(QStringLiteral(":/icons/varkel%1.png"));
}

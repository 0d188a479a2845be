#include "artwork.h"

// The pictures live in a static library; without an explicit reference the
// linker would drop them from the program. (Kept out of any namespace: the
// resource initialiser is a global symbol.)
static void initArtwork()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(done);
}

QPixmap ToolbarStrip()
{
    initArtwork();
    return QPixmap(QStringLiteral(":/icons/toolbar.png"));
}

QIcon ProgramIcon()
{
    initArtwork();
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/varkel%1.png").arg(size), QSize(size, size));
    return icon;
}

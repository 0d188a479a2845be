#include "pelorinresources.h"

// Q_INIT_RESOURCE declares the initialiser where it stands, so this must sit
// outside every namespace, the anonymous one included.
static void registerResources()
{
    Q_INIT_RESOURCE(pelorin);
}

namespace pelorin {

void EnsureResources()
{
    static const bool registered = (registerResources(), true);
    Q_UNUSED(registered);
}

QIcon ProgramIcon()
{
    EnsureResources();
    QIcon icon;
    for (const char* size : {"16", "32", "48"})
        icon.addFile(QStringLiteral(":/pelorin/icons/pelorin-%1.png").arg(QLatin1String(size)));
    return icon;
}

} // namespace pelorin

#include "programicon.h"

namespace fw {

QIcon ProgramIcon(const QString& pathPattern)
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(pathPattern.arg(size), QSize(size, size));
    return icon;
}

} // namespace fw

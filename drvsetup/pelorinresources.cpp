#include "pelorinresources.h"

#include "programicon.h"

namespace pelorin {

QIcon ProgramIcon()
{
    return fw::ProgramIcon(QStringLiteral(":/pelorin/icons/pelorin-%1.png"));
}

} // namespace pelorin

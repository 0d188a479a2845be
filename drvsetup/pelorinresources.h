#pragma once
// The program icon, compiled in with the help page (drvsetup/CMakeLists.txt).

#include <QIcon>

namespace pelorin {

// The program icon in the sizes drawn for it (16, 32 and 48 pixels).
QIcon ProgramIcon();

} // namespace pelorin

#pragma once
// The program's compiled-in resources: icon and help pages. They live in a
// static library, so they are registered on first use rather than relying on
// the linker to keep an otherwise unreferenced initialiser.

#include <QIcon>

namespace pelorin {

void EnsureResources();

// The program icon in the sizes drawn for it (16, 32 and 48 pixels).
QIcon ProgramIcon();

} // namespace pelorin

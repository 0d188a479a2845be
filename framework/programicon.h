#pragma once
// A program's icon from the pictures drawn for it at 16, 32 and 48 pixels.

#include <QIcon>
#include <QString>

namespace fw {

// `pathPattern` names one picture with %1 standing for the size in pixels,
// e.g. ":/icons/varkel%1.png".
QIcon ProgramIcon(const QString& pathPattern);

} // namespace fw

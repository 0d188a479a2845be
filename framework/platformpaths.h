#pragma once
// Where files go on this platform: its path separator and the folder that
// stands in for the root of the system drive as a place for user files.

#include <QChar>
#include <QString>

namespace fw {

// "\" on Windows, "/" elsewhere.
QChar PathSeparator();

// "C:" on Windows; the user's home folder elsewhere, the only place a
// program can count on being allowed to write.
QString DefaultUserFilesFolder();

} // namespace fw

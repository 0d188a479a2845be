#pragma once
// Opening a file the operator named for reading, without ever blocking: a
// FIFO with no writer, a serial device or a terminal would hold the opening
// thread inside open() or read(). Only a regular file is opened.

#include <QFile>
#include <QString>

namespace fw {

enum class OpenResult { Opened, NotRegular, Failed };

// Opens `path` read-only into `file` when it is a regular file, checked on
// the handle opened, so that a name swapped meanwhile is caught as well.
OpenResult OpenRegularFileForReading(QFile& file, const QString& path);

} // namespace fw

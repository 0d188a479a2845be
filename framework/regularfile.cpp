#include "regularfile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fw {

#ifdef Q_OS_UNIX

OpenResult OpenRegularFileForReading(QFile& file, const QString& path)
{
    // Non-blocking, so that even a FIFO or a device returns at once from open().
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return OpenResult::Failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return OpenResult::NotRegular;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

#else

OpenResult OpenRegularFileForReading(QFile& file, const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return OpenResult::NotRegular;
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly) ? OpenResult::Opened : OpenResult::Failed;
}

#endif

} // namespace fw

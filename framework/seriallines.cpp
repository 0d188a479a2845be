#include "seriallines.h"

#ifdef Q_OS_UNIX
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace fw {

#ifdef Q_OS_UNIX
bool LowerSerialLinesOnClose(const QString& device, QString* error)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    termios settings {};
    bool ok = ::tcgetattr(fd, &settings) == 0;
    if (ok) {
        // Hang up on last close: the kernel lowers the modem lines.
        settings.c_cflag |= HUPCL;
        ok = ::tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    // Another open of the port raises the lines again on Linux.
    int lines = TIOCM_RTS | TIOCM_DTR;
    ok = ok && ::ioctl(fd, TIOCMBIC, &lines) == 0;
    if (!ok)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return ok;
}
#else
bool LowerSerialLinesOnClose(const QString&, QString*)
{
    // Windows releases the lines with the handle.
    return true;
}
#endif

} // namespace fw

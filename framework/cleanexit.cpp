#include "cleanexit.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace fw {

#ifdef Q_OS_UNIX
namespace {

// The self-pipe: the only state a signal handler may touch.
int g_signalPipe[2] = {-1, -1};

void onPosixSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool InstallCleanExit(QObject* context, std::function<void()> onSignal)
{
    if (g_signalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
            return false;
        for (int fd : g_signalPipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        struct sigaction action {};
        action.sa_handler = onPosixSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(sig, &action, nullptr);
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [onSignal = std::move(onSignal)] {
                         char buffer[16];
                         while (::read(g_signalPipe[1], buffer, sizeof buffer) > 0) {
                         }
                         onSignal();
                     });
    return true;
}
#else
bool InstallCleanExit(QObject*, std::function<void()>)
{
    return false;
}
#endif

} // namespace fw

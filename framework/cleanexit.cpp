#include "cleanexit.h"

#include "socketio.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#endif

namespace fw {

namespace {

// The last-resort byte, shared between the thread that arms it and the
// watch that may send it: the lock keeps a handle from being closed (and its
// number reused) while the watch writes to it.
struct LastResort {
    std::mutex lock;
    qintptr socket = socketio::kInvalid;
    char byte = 0;
};

LastResort& lastResort()
{
    static LastResort instance;
    return instance;
}

} // namespace

void ArmLastResortByte(qintptr socket, char byte)
{
    LastResort& last = lastResort();
    const std::lock_guard guard(last.lock);
    last.socket = socket;
    last.byte = byte;
}

void DisarmLastResortByte(qintptr socket)
{
    LastResort& last = lastResort();
    const std::lock_guard guard(last.lock);
    if (last.socket == socket)
        last.socket = socketio::kInvalid;
}

#ifdef Q_OS_UNIX
namespace {

// The self-pipe and the watch's pipe: with the counter, the only state a
// signal handler may touch.
int g_signalPipe[2] = {-1, -1};
int g_watchPipe[2] = {-1, -1};
std::atomic<unsigned> g_signalsReceived{0};
std::atomic<unsigned> g_signalsServed{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

void onPosixSignal(int)
{
    const int savedErrno = errno;
    g_signalsReceived.fetch_add(1);
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[0], &byte, 1);
    n = ::write(g_watchPipe[1], &byte, 1);
    errno = savedErrno;
}

// Runs for the life of the process, asleep until a signal comes.
void watchSignals()
{
    using namespace std::chrono;
    for (;;) {
        char buffer[16];
        const ssize_t n = ::read(g_watchPipe[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const unsigned received = g_signalsReceived.load();
        const auto deadline = steady_clock::now() + milliseconds(kSignalServeMs);
        while (g_signalsServed.load() < received && steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(10));
        if (g_signalsServed.load() >= received)
            continue;
        // The program cannot leave by its own path: say the last word for it.
        LastResort& last = lastResort();
        last.lock.lock();
        if (last.socket != socketio::kInvalid)
            socketio::Send(last.socket, &last.byte, 1);
        std::_Exit(0);
    }
}

bool makePipe(int (&ends)[2])
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return false;
    for (int fd : ends)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return true;
}

} // namespace

bool InstallCleanExit(QObject* context, std::function<void()> onSignal)
{
    if (g_signalPipe[0] < 0) {
        if (!makePipe(g_signalPipe) || !makePipe(g_watchPipe))
            return false;
        for (int fd : g_signalPipe)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        // The handler must never block on a full pipe; the watch reads its end blocking.
        ::fcntl(g_watchPipe[1], F_SETFL, ::fcntl(g_watchPipe[1], F_GETFL) | O_NONBLOCK);
        std::thread(watchSignals).detach();
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
                         g_signalsServed.store(g_signalsReceived.load());
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

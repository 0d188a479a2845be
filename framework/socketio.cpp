#include "socketio.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#endif
#endif

namespace fw::socketio {

#ifdef Q_OS_WIN

qintptr Duplicate(qintptr socket)
{
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(SOCKET(socket), ::GetCurrentProcessId(), &info) != 0)
        return kInvalid;
    const SOCKET copy = ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO,
                                     &info, 0, WSA_FLAG_OVERLAPPED);
    if (copy == INVALID_SOCKET)
        return kInvalid;
    u_long nonBlocking = 1;
    ::ioctlsocket(copy, FIONBIO, &nonBlocking);
    return qintptr(copy);
}

qint64 Send(qintptr socket, const char* data, qint64 size)
{
    const int sent = ::send(SOCKET(socket), data, int(qMin<qint64>(size, 1 << 20)), 0);
    if (sent >= 0)
        return sent;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

qint64 Unacknowledged(qintptr)
{
    return -1;
}

void ShutdownSend(qintptr socket)
{
    ::shutdown(SOCKET(socket), SD_SEND);
}

void Close(qintptr socket)
{
    ::closesocket(SOCKET(socket));
}

#else

qintptr Duplicate(qintptr socket)
{
    const int copy = ::fcntl(int(socket), F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return kInvalid;
    ::fcntl(copy, F_SETFL, ::fcntl(copy, F_GETFL) | O_NONBLOCK);
    return copy;
}

qint64 Send(qintptr socket, const char* data, qint64 size)
{
#ifdef MSG_NOSIGNAL
    constexpr int kFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
    constexpr int kFlags = MSG_DONTWAIT;
#endif
    for (;;) {
        const ssize_t sent = ::send(int(socket), data, size_t(size), kFlags);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : kFailed;
    }
}

qint64 Unacknowledged(qintptr socket)
{
#if defined(Q_OS_LINUX)
    int unsent = 0;
    return ::ioctl(int(socket), SIOCOUTQ, &unsent) == 0 ? unsent : -1;
#elif defined(SO_NWRITE)
    int unsent = 0;
    socklen_t size = sizeof unsent;
    return ::getsockopt(int(socket), SOL_SOCKET, SO_NWRITE, &unsent, &size) == 0 ? unsent : -1;
#else
    Q_UNUSED(socket);
    return -1;
#endif
}

void ShutdownSend(qintptr socket)
{
    ::shutdown(int(socket), SHUT_WR);
}

void Close(qintptr socket)
{
    ::close(int(socket));
}

#endif

} // namespace fw::socketio

#pragma once
// The few system calls on a connected TCP socket that the toolkit's socket
// class does not offer: a second handle that outlives the toolkit's own (a
// peer's FIN makes the toolkit close its handle, while our sending side must
// stay open), non-blocking sends on it, and how much the system still holds
// unsent.

#include <QtGlobal>

namespace fw::socketio {

constexpr qintptr kInvalid = -1;

// A second handle to the same connection, in non-blocking mode; kInvalid on failure.
qintptr Duplicate(qintptr socket);

// What a send did: bytes taken (>= 0), or nothing for now, or a broken link.
constexpr qint64 kWouldBlock = -1;
constexpr qint64 kFailed = -2;
qint64 Send(qintptr socket, const char* data, qint64 size);

// Bytes the system holds that the peer has not acknowledged; -1 where the
// system cannot tell.
qint64 Unacknowledged(qintptr socket);

// Ends our sending direction (the peer reads end of stream after what it has).
void ShutdownSend(qintptr socket);
void Close(qintptr socket);

} // namespace fw::socketio

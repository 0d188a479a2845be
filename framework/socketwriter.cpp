#include "socketwriter.h"

#include "cleanexit.h"
#include "socketio.h"

namespace fw {

SocketWriter::SocketWriter(qintptr socket, QObject* parent)
    : QObject(parent), m_handle(socketio::Duplicate(socket))
{
    // The system tells no one when the peer acknowledges, so waiting bytes
    // are offered again at a pace far above what a PSK31 link carries.
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &SocketWriter::Push);
}

SocketWriter::~SocketWriter()
{
    CloseNow();
}

bool SocketWriter::Write(QByteArrayView bytes)
{
    if (!IsOpen() || m_closing)
        return false;
    m_queue.append(bytes);
    Push();
    return IsOpen();
}

QByteArray SocketWriter::Interrupt(QByteArrayView bytes)
{
    const QByteArray dropped = m_queue.mid(m_taken);
    m_queue.clear();
    m_taken = 0;
    if (IsOpen() && !SendNow(bytes))
        Fail();
    if (m_closing)
        Push();
    return dropped;
}

void SocketWriter::Close()
{
    m_closing = true;
    Push();
}

void SocketWriter::Push()
{
    while (IsOpen() && Waiting() > 0) {
        qint64 room = Waiting();
        const qint64 held = socketio::Unacknowledged(m_handle);
        if (held >= 0)
            room = qMin(room, kSystemShare - held);
        if (room <= 0)
            break;
        const qint64 sent = socketio::Send(m_handle, m_queue.constData() + m_taken, room);
        if (sent == socketio::kFailed) {
            Fail();
            return;
        }
        if (sent <= 0)
            break;
        m_taken += sent;
    }
    if (Waiting() == 0) {
        m_queue.clear();
        m_taken = 0;
    } else if (m_taken > 64 * 1024 && m_taken > m_queue.size() / 2) {
        m_queue.remove(0, m_taken);
        m_taken = 0;
    }
    if (!IsOpen())
        return;
    if (Waiting() > 0) {
        if (!m_retry.isActive())
            m_retry.start();
        return;
    }
    m_retry.stop();
    if (m_closing) {
        socketio::ShutdownSend(m_handle);
        CloseNow();
    }
}

bool SocketWriter::SendNow(QByteArrayView bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 sent = socketio::Send(m_handle, bytes.data() + done, bytes.size() - done);
        if (sent == socketio::kFailed)
            return false;
        if (sent == socketio::kWouldBlock) {
            // Only a send buffer smaller than our share gets here: the rest
            // goes first once there is room.
            m_queue.prepend(bytes.sliced(done));
            Push();
            return true;
        }
        done += sent;
    }
    return true;
}

void SocketWriter::Fail()
{
    CloseNow();
    emit failed();
}

void SocketWriter::CloseNow()
{
    m_retry.stop();
    m_queue.clear();
    m_taken = 0;
    if (!IsOpen())
        return;
    // The last-resort unkey must never write to a handle number the system
    // may give to something else once this one is closed.
    DisarmLastResortByte(m_handle);
    socketio::Close(m_handle);
    m_handle = kNoHandle;
}

} // namespace fw

#pragma once
// The sending side of a connected TCP socket, on a handle of its own: a peer
// that finishes its own direction (FIN) makes the toolkit drop its handle, but
// ends nothing here, so what we still have to say goes out. Bytes go to the
// system at once while it holds little that the peer has not taken; beyond
// that they wait here, so that an urgent byte always finds room in the system
// right behind what is already on its way.

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QTimer>

namespace fw {

class SocketWriter : public QObject {
    Q_OBJECT
public:
    // What the system may hold unacknowledged before bytes wait here: far
    // below any send buffer, so an urgent byte always fits beside it.
    static constexpr qint64 kSystemShare = 4096;

    explicit SocketWriter(qintptr socket, QObject* parent = nullptr);
    // Closes at once: what still waits here is dropped.
    ~SocketWriter() override;

    bool IsOpen() const { return m_handle != kNoHandle; }
    qintptr Handle() const { return m_handle; }

    // Queues the bytes and hands the system what it may take now; false once
    // the connection has failed or the writer is closing.
    bool Write(QByteArrayView bytes);
    // Bytes queued here that the system has not taken yet.
    qint64 Waiting() const { return m_queue.size() - m_taken; }
    // Drops what waits here and puts `bytes` into the system right away,
    // after what it already holds. Returns the bytes dropped.
    QByteArray Interrupt(QByteArrayView bytes);
    // Ends our direction once everything queued has gone to the system.
    void Close();

signals:
    void failed();

private:
    static constexpr qintptr kNoHandle = -1;
    static constexpr int kRetryMs = 10;

    void Push();
    bool SendNow(QByteArrayView bytes);
    void Fail();
    void CloseNow();

    qintptr m_handle = kNoHandle;
    QByteArray m_queue;
    qint64 m_taken = 0;
    bool m_closing = false;
    QTimer m_retry;
};

} // namespace fw

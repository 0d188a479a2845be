#pragma once
// One TCP connection to the analyzer server with a buffered byte reader and a
// one-byte-per-send writer. It tells its document when data arrives and when
// the server closes the connection; the document owns and deletes it.

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class CVarkelDoc;
namespace fw {
class SocketWriter;
}

class CClientSocket : public QObject {
    Q_OBJECT
public:
    static constexpr int kReadChunk = 4096;
    // What the link holds unread at most; beyond it the data waits in the
    // system, which slows a flooding server down instead of filling memory.
    static constexpr qint64 kReadBufferLimit = 64 * 1024;
    static constexpr int kDefaultConnectTimeoutMs = 10000;

    explicit CClientSocket(CVarkelDoc* doc);
    ~CClientSocket() override;

    bool Create();
    // Blocks while only repainting and socket traffic go on. A port outside
    // 1..65535 fails rather than wrapping to another port.
    bool Connect(const QString& host, int port, int timeoutMs = kDefaultConnectTimeoutMs);
    void Init();
    void SendByte(unsigned char byte);
    // Drops what still waits to be taken by the system and sends `byte` right
    // after what it holds already; returns the bytes dropped.
    QByteArray SendBeforeWaiting(unsigned char byte);
    // Bytes sent that the system has not taken yet.
    qint64 Waiting() const;
    // The handle the process's last word goes to; -1 without a writer.
    qintptr WriterHandle() const;
    // The bytes one socket read delivered: at most kReadChunk.
    QByteArray ReceiveAll();
    // Graceful close: bytes already written still go out, whatever the
    // server did to its own direction. No notification follows.
    void Close();

    bool IsWriterOk() const { return m_bWriterOk; }
    QTcpSocket* Socket() const { return m_pSocket; }

private:
    void OnReceive();
    void OnClose();
    void ScheduleReceive();

    QTcpSocket* m_pSocket = nullptr;
    // Our direction, on a handle of its own: a FIN from the server makes the
    // toolkit close its socket, which must not silence us.
    fw::SocketWriter* m_pWriter = nullptr;
    CVarkelDoc* m_pDoc;
    bool m_bWriterOk = false;
    bool m_bReaderOk = false;
    bool m_bReceiveQueued = false;
    bool m_bClosed = false;
};

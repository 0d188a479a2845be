#pragma once
// One TCP connection to the analyzer server with a buffered byte reader and a
// bounded writer on a handle of its own. It signals when data is ready and when the server
// has closed the connection, and knows nobody; whoever owns it listens.

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
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

    explicit CClientSocket(QObject* parent = nullptr);
    ~CClientSocket() override;

    // Blocks while only repainting and socket traffic go on. A port outside
    // 1..65535 fails rather than wrapping to another port.
    bool Connect(const QString& host, int port, int timeoutMs = kDefaultConnectTimeoutMs);
    // Why the last Connect failed.
    QString ErrorString() const { return m_strError; }
    void Init();
    void SendByte(unsigned char byte);
    // Drops what still waits to be taken by the system and sends `byte` right
    // after what it holds already; returns the bytes dropped.
    QByteArray SendBeforeWaiting(unsigned char byte);
    // Bytes sent that the system has not taken yet.
    qint64 Waiting() const;
    // The handle the process's last word goes to; -1 without a writer.
    qintptr WriterHandle() const;
    // The bytes one socket read delivered: at most kReadChunk. Whoever hears
    // dataReady() calls it; bytes left over raise dataReady() again later.
    QByteArray ReceiveAll();
    // Graceful close: bytes already written still go out, whatever the
    // server did to its own direction. No notification follows.
    void Close();

    QTcpSocket* Socket() const { return m_pSocket; }

signals:
    // Unread bytes wait: take them with ReceiveAll().
    void dataReady();
    // The server closed the connection; every byte it sent before has been
    // offered through dataReady() first. Not emitted after Close().
    void closed();

private:
    void OnReceive();
    void OnClose();
    void ScheduleReceive();

    QTcpSocket* m_pSocket;
    // Our direction, on a handle of its own: a FIN from the server makes the
    // toolkit close its socket, which must not silence us.
    fw::SocketWriter* m_pWriter = nullptr;
    bool m_bWriterOk = false;
    bool m_bReaderOk = false;
    bool m_bReceiveQueued = false;
    bool m_bClosed = false;
    QString m_strError;
};

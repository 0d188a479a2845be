#include "clientsocket.h"

#include "localwait.h"
#include "socketwriter.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>
#include <QTcpSocket>

CClientSocket::CClientSocket(QObject* parent) : QObject(parent), m_pSocket(new QTcpSocket(this)) {}

CClientSocket::~CClientSocket()
{
    delete m_pWriter;
    m_pSocket->disconnect(this);
    m_pSocket->abort();
}

bool CClientSocket::Connect(const QString& host, int port, int timeoutMs)
{
    m_strError.clear();
    if (port < 1 || port > 65535) {
        m_strError = QStringLiteral("the port is outside 1 to 65535");
        return false;
    }
    m_pSocket->abort();
    m_pSocket->connectToHost(host, static_cast<quint16>(port));
    // The wait lets socket traffic through, and the session may drop this
    // very link meanwhile (the server closing the other one): once it is
    // gone, nothing of it is touched again.
    const QPointer<CClientSocket> self(this);
    auto settled = [self] {
        if (!self)
            return true;
        const auto state = self->m_pSocket->state();
        return state == QAbstractSocket::ConnectedState
            || state == QAbstractSocket::UnconnectedState;
    };
    const QDeadlineTimer deadline(timeoutMs);
    while (!settled() && !deadline.hasExpired()) {
        // A wait that ends without news has either run out of time or been
        // cut short because the program is ending; in that case no later wait
        // runs either, and asking again would only spin until the deadline.
        if (!fw::LocalWaitFor(m_pSocket, &QAbstractSocket::stateChanged,
                              int(qMax<qint64>(1, deadline.remainingTime())), settled))
            break;
    }
    if (!self)
        return false;
    if (m_pSocket->state() == QAbstractSocket::ConnectedState)
        return true;
    m_strError = m_pSocket->error() == QAbstractSocket::UnknownSocketError && deadline.hasExpired()
        ? QStringLiteral("no answer within %1 ms").arg(timeoutMs)
        : m_pSocket->errorString();
    m_pSocket->abort();
    return false;
}

void CClientSocket::Init()
{
    m_pWriter = new fw::SocketWriter(m_pSocket->socketDescriptor(), this);
    m_bWriterOk = m_pWriter->IsOpen();
    connect(m_pWriter, &fw::SocketWriter::failed, this, [this] { m_bWriterOk = false; });
    m_bReaderOk = true;
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_pSocket->setReadBufferSize(kReadBufferLimit);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CClientSocket::OnReceive);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &CClientSocket::OnClose,
            Qt::QueuedConnection);
    if (m_pSocket->bytesAvailable() > 0)
        ScheduleReceive();
}

void CClientSocket::SendByte(unsigned char byte)
{
    if (!m_bWriterOk || !m_pWriter)
        return;
    const char c = static_cast<char>(byte);
    if (!m_pWriter->Write(QByteArrayView(&c, 1)))
        m_bWriterOk = false;
}

QByteArray CClientSocket::SendBeforeWaiting(unsigned char byte)
{
    if (!m_bWriterOk || !m_pWriter)
        return {};
    const char c = static_cast<char>(byte);
    return m_pWriter->Interrupt(QByteArrayView(&c, 1));
}

qint64 CClientSocket::Waiting() const
{
    return m_pWriter ? m_pWriter->Waiting() : 0;
}

qintptr CClientSocket::WriterHandle() const
{
    return m_pWriter && m_bWriterOk ? m_pWriter->Handle() : -1;
}

QByteArray CClientSocket::ReceiveAll()
{
    if (!m_bReaderOk)
        return {};
    const QByteArray bytes = m_pSocket->read(kReadChunk);
    if (m_pSocket->bytesAvailable() > 0)
        ScheduleReceive();
    return bytes;
}

void CClientSocket::Close()
{
    m_bClosed = true;
    if (m_pWriter)
        m_pWriter->Close();
    m_pSocket->disconnect(this);
    m_pSocket->disconnectFromHost();
}

void CClientSocket::ScheduleReceive()
{
    // Bytes already buffered raise no further readyRead: come back for them
    // from the event loop, so typing stays responsive during a flood.
    if (m_bReceiveQueued)
        return;
    m_bReceiveQueued = true;
    QMetaObject::invokeMethod(this, &CClientSocket::OnReceive, Qt::QueuedConnection);
}

void CClientSocket::OnReceive()
{
    m_bReceiveQueued = false;
    if (m_bClosed || m_pSocket->bytesAvailable() <= 0)
        return;
    emit dataReady();
}

void CClientSocket::OnClose()
{
    if (m_bClosed)
        return;
    // Everything the server sent before closing is offered first; each
    // listener's ReceiveAll() takes a chunk of it.
    QPointer<CClientSocket> self(this);
    while (self && !m_bClosed && m_pSocket->bytesAvailable() > 0)
        emit dataReady();
    if (!self || m_bClosed)
        return;
    m_bClosed = true;
    emit closed();
}

#pragma once
// The stand-in analyzer server. It takes the terminal's connections in pairs
// (receive link first, transmit link second), obeys the transmission toggle
// and abort bytes, and sends typed text back on the receive link at a
// PSK31-like pace, the way the operator would see their own signal decoded.
// Every step it takes is reported as one line through Event.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace sim {

struct SimOptions {
    bool fast = false;         // send queued text at once instead of pacing it
    int msPerBit = 30;         // time on the air for one varicode bit
    int beaconIntervalMs = 0;  // another station calling now and then; 0 for silence
    QByteArray beaconText = QByteArrayLiteral("CQ CQ de SIM\r\n");
    qsizetype maxQueued = 64 * 1024;  // a peer that never starts transmitting cannot grow us without end
};

class SimServer : public QObject {
    Q_OBJECT
public:
    static constexpr char kToggle = 0x01;
    static constexpr char kAbort = 0x02;

    explicit SimServer(SimOptions options, QObject* parent = nullptr);
    ~SimServer() override;

    bool Listen(const QHostAddress& address, quint16 port);
    QString ErrorString() const { return m_server.errorString(); }
    QAbstractSocket::SocketError Error() const { return m_server.serverError(); }
    quint16 Port() const { return m_server.serverPort(); }
    // Stops listening and drops the current pair at once.
    void Stop();

signals:
    void Event(const QString& line);

private:
    enum class Link { Receive, Transmit };

    void OnNewConnection();
    void Adopt(QTcpSocket* socket, Link link);
    void OnReceiveData();
    void OnTransmitData();
    void OnLinkClosed(Link link);
    void Toggle();
    void Abort();
    void Pump();
    void OnCharacterDue();
    void OnBeacon();
    void ClosePair(bool graceful);
    void Release(QTcpSocket* socket, bool graceful);

    SimOptions m_options;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_receive;
    QPointer<QTcpSocket> m_transmit;
    QByteArray m_queue;  // typed text not yet on the air; while pacing, its first byte is going out
    bool m_transmitting = false;
    QTimer m_characterTimer;
    QTimer m_beaconTimer;
};

} // namespace sim

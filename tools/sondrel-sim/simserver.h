#pragma once
// The stand-in analyzer server: the analyzer's link-pair protocol with a
// transmitter that sends typed text back on the receive link at a PSK31-like
// pace, the way the operator would see their own signal decoded.
// Every step it takes is reported as one line through event.

#include "link/linkserver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

namespace sim {

struct SimOptions {
    bool fast = false;         // send queued text at once instead of pacing it
    int msPerBit = 30;         // time on the air for one varicode bit
    int beaconIntervalMs = 0;  // another station calling now and then; 0 for silence
    QByteArray beaconText = QByteArrayLiteral("CQ CQ de SIM\r\n");
    qsizetype maxQueued = sondrel::LinkServer::kDefaultQueueBound;
};

class SimServer : public QObject {
    Q_OBJECT
public:
    explicit SimServer(SimOptions options, QObject* parent = nullptr);

    bool Listen(const QHostAddress& address, quint16 port);
    QString ErrorString() const { return m_links.errorString(); }
    QAbstractSocket::SocketError Error() const { return m_links.serverError(); }
    quint16 Port() const { return m_links.serverPort(); }
    // Stops listening and drops the current pair at once.
    void Stop();

signals:
    void event(const QString& line);

private:
    void onSwitched(bool on);
    void pump();
    void onCharacterDue();
    void onBeacon();

    SimOptions m_options;
    sondrel::LinkServer m_links;
    QTimer m_characterTimer;
    QTimer m_beaconTimer;
};

} // namespace sim

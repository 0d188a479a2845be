#pragma once
// The console's port. Each new connection is sorted by its first request: a
// WebSocket upgrade goes to the stream's server, anything else is left
// unread for the HTTP server, which takes its connections from here.

#include <QTcpServer>

class QWebSocketServer;

namespace sondrel {

class ConsoleListener : public QTcpServer {
    Q_OBJECT
public:
    ConsoleListener(QWebSocketServer& streams, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr handle) override;

private:
    void sort(QTcpSocket* socket);

    QWebSocketServer& m_streams;
};

} // namespace sondrel

#pragma once
// The station console: the page, its JSON API and a WebSocket (/ws) that
// streams the waterfall and the station's state to every open page. Requests
// that change the station are checked whole before anything changes; with a
// token set, the page, the API and the stream all need it.

#include <QHostAddress>
#include <QHttpServer>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWebSocketServer>
#include <deque>
#include <memory>
#include <vector>

class QWebSocket;

namespace sondrel {

class ConsoleListener;
class Station;

class ConsoleServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 5580;

    explicit ConsoleServer(Station& station, QObject* parent = nullptr);
    ~ConsoleServer() override;

    // An empty token: none needed (only for a loopback address).
    bool listen(const QHostAddress& address, quint16 port, const QString& token);
    QString errorString() const { return m_error; }
    quint16 serverPort() const;
    // A line for the events list: pairs, settings, PTT.
    void addEvent(const QString& line);

private:
    struct Viewer;

    bool authorised(const QHttpServerRequest& request) const;
    QHttpServerResponse refusal(const QHttpServerRequest& request,
                                QHttpServerRequest::Method allowed) const;
    QHttpServerResponse post(const QHttpServerRequest& request, bool tune);
    void onWebSocket();
    void sendRow();
    void sendState();
    void broadcast(const QJsonObject& message);
    void dropViewer(QWebSocket* socket);

    Station& m_station;
    QHttpServer m_http;
    QWebSocketServer m_streams;
    QPointer<ConsoleListener> m_listener;
    QString m_token;
    QString m_error;
    std::vector<std::unique_ptr<Viewer>> m_viewers;
    std::deque<QJsonObject> m_events;
    QTimer m_stateTimer;
    int m_stateTicks = 0;
    QByteArray m_lastStatus;
};

} // namespace sondrel

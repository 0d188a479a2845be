#include "consoleserver.h"

#include "codepage.h"
#include "consolelistener.h"
#include "consolestate.h"
#include "server/station.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrlQuery>
#include <QWebSocket>
#include <algorithm>
#include <cmath>

namespace sondrel {
namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponse::StatusCode;

// State goes out at most this often; the signal list every fourth time.
constexpr int kStateMs = 250;
constexpr int kSignalsEveryTicks = 4;
// Events a page that opens is shown.
constexpr std::size_t kKeptEvents = 50;
// A request body larger than any request the console takes.
constexpr qsizetype kMaxBody = 4096;
// A viewer this far behind gets no rows until it catches up, and is closed
// when it falls much further behind, so a stalled page cannot grow memory.
constexpr qint64 kSkipRowsBytes = 256 * 1024;
constexpr qint64 kCloseBytes = 4 * 1024 * 1024;
// PowerRows bins go out as one byte each: dB + this, 1 dB steps, clamped.
constexpr int kDbOffset = 160;

const QByteArray kJson = QByteArrayLiteral("application/json");

QByteArray header(const QHttpServerRequest& request, QByteArrayView name)
{
    for (const auto& [key, value] : request.headers()) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

bool sameSecret(const QByteArray& given, const QByteArray& token)
{
    // Takes as long whatever the first differing byte.
    if (given.size() != token.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

QHttpServerResponse error(Status status, const QString& reason)
{
    QHttpServerResponse response(QJsonObject{{QStringLiteral("error"), reason}}, status);
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    return response;
}

QHttpServerResponse json(const QJsonValue& value)
{
    QHttpServerResponse response(value.isArray() ? QHttpServerResponse(value.toArray())
                                                 : QHttpServerResponse(value.toObject()));
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    return response;
}

QHttpServerResponse resource(const QString& name, const QByteArray& type)
{
    QFile file(QStringLiteral(":/console/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return error(Status::NotFound, QStringLiteral("not found"));
    QHttpServerResponse response(type, file.readAll());
    response.setHeader(QByteArrayLiteral("X-Frame-Options"), QByteArrayLiteral("DENY"));
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    return response;
}

// A page of another site may send requests here but must not act: its
// Origin (when the browser gives one) names another host than the request's.
bool sameOrigin(const QByteArray& origin, const QString& host, int port)
{
    if (origin.isEmpty())
        return true;
    const QUrl url(QString::fromLatin1(origin));
    return url.host().compare(host, Qt::CaseInsensitive) == 0 && url.port(80) == port;
}

QString toText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        text += fw::codepage::ToChar(static_cast<unsigned char>(byte));
    return text;
}

} // namespace

struct ConsoleServer::Viewer {
    std::unique_ptr<QWebSocket> socket;
    qint64 pending = 0;
};

ConsoleServer::ConsoleServer(Station& station, QObject* parent)
    : QObject(parent),
      m_station(station),
      m_streams(QStringLiteral("sondrel"), QWebSocketServer::NonSecureMode)
{
    m_http.route(QStringLiteral("/"), [this](const QHttpServerRequest& request) {
        if (request.method() != Method::Get || !authorised(request))
            return refusal(request, Method::Get);
        return resource(QStringLiteral("index.html"),
                        QByteArrayLiteral("text/html; charset=utf-8"));
    });
    // The script and the style hold nothing of the station's and change nothing.
    m_http.route(QStringLiteral("/console.js"), [] {
        return resource(QStringLiteral("console.js"),
                        QByteArrayLiteral("text/javascript; charset=utf-8"));
    });
    m_http.route(QStringLiteral("/console.css"), [] {
        return resource(QStringLiteral("console.css"),
                        QByteArrayLiteral("text/css; charset=utf-8"));
    });
    m_http.route(QStringLiteral("/api/status"), [this](const QHttpServerRequest& request) {
        if (request.method() != Method::Get || !authorised(request))
            return refusal(request, Method::Get);
        return json(console::statusJson(m_station));
    });
    m_http.route(QStringLiteral("/api/signals"), [this](const QHttpServerRequest& request) {
        if (request.method() != Method::Get || !authorised(request))
            return refusal(request, Method::Get);
        return json(console::signalsJson(m_station));
    });
    m_http.route(QStringLiteral("/api/tune"),
                 [this](const QHttpServerRequest& request) { return post(request, true); });
    m_http.route(QStringLiteral("/api/settings"),
                 [this](const QHttpServerRequest& request) { return post(request, false); });

    connect(&m_streams, &QWebSocketServer::newConnection, this, &ConsoleServer::onWebSocket);
    connect(&m_station.band(), &Band::rowReady, this, &ConsoleServer::sendRow);
    connect(&m_station, &Station::received, this, [this](const QByteArray& text) {
        broadcast(QJsonObject{{QStringLiteral("type"), QStringLiteral("text")},
                              {QStringLiteral("text"), toText(text)}});
    });
    connect(&m_station, &Station::tuningChanged, this, &ConsoleServer::sendState);
    connect(&m_station, &Station::keyedChanged, this, &ConsoleServer::sendState);
    m_stateTimer.setInterval(kStateMs);
    connect(&m_stateTimer, &QTimer::timeout, this, [this] {
        if (++m_stateTicks % kSignalsEveryTicks == 0)
            broadcast(QJsonObject{{QStringLiteral("type"), QStringLiteral("signals")},
                                  {QStringLiteral("signals"), console::signalsJson(m_station)}});
        sendState();
    });
}

ConsoleServer::~ConsoleServer() = default;

bool ConsoleServer::listen(const QHostAddress& address, quint16 port, const QString& token)
{
    m_token = token;
    auto* listener = new ConsoleListener(m_streams, this);
    if (!listener->listen(address, port)) {
        m_error = listener->errorString();
        delete listener;
        return false;
    }
    m_listener = listener;
    m_http.bind(listener);
    return true;
}

quint16 ConsoleServer::serverPort() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

void ConsoleServer::addEvent(const QString& line)
{
    QJsonObject event{
        {QStringLiteral("type"), QStringLiteral("event")},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("line"), line}};
    m_events.push_back(event);
    if (m_events.size() > kKeptEvents)
        m_events.pop_front();
    broadcast(event);
}

bool ConsoleServer::authorised(const QHttpServerRequest& request) const
{
    if (m_token.isEmpty())
        return true;
    const QByteArray token = m_token.toUtf8();
    const QString given = request.query().queryItemValue(QStringLiteral("token"),
                                                         QUrl::FullyDecoded);
    if (!given.isEmpty())
        return sameSecret(given.toUtf8(), token);
    const QByteArray authorization = header(request, "authorization");
    const QByteArray bearer = QByteArrayLiteral("Bearer ");
    return authorization.startsWith(bearer) && sameSecret(authorization.mid(bearer.size()), token);
}

QHttpServerResponse ConsoleServer::refusal(const QHttpServerRequest& request, Method allowed) const
{
    if (request.method() != allowed) {
        QHttpServerResponse response = error(
            Status::MethodNotAllowed,
            QStringLiteral("use %1").arg(allowed == Method::Get ? QStringLiteral("GET")
                                                                : QStringLiteral("POST")));
        response.setHeader(QByteArrayLiteral("Allow"), allowed == Method::Get ? "GET" : "POST");
        return response;
    }
    return error(Status::Unauthorized,
                 QStringLiteral("a token is needed: ?token=... or Authorization: Bearer ..."));
}

QHttpServerResponse ConsoleServer::post(const QHttpServerRequest& request, bool tune)
{
    if (request.method() != Method::Post || !authorised(request))
        return refusal(request, Method::Post);
    if (!sameOrigin(header(request, "origin"), request.url().host(), request.url().port(80)))
        return error(Status::Forbidden, QStringLiteral("a request from another site"));
    // A form of another site can post plain text without asking first; JSON it cannot.
    if (!header(request, "content-type").startsWith(kJson))
        return error(Status::UnsupportedMediaType,
                     QStringLiteral("send Content-Type: application/json"));
    if (request.body().size() > kMaxBody)
        return error(Status::PayloadTooLarge, QStringLiteral("the request is too large"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return error(Status::BadRequest,
                     QStringLiteral("not JSON: %1").arg(parseError.errorString()));
    if (!document.isObject())
        return error(Status::BadRequest, QStringLiteral("send a JSON object"));
    const QString why = tune ? console::tune(m_station, document.object())
                             : console::applySettings(m_station, document.object());
    if (!why.isEmpty())
        return error(Status::BadRequest, why);
    return json(console::statusJson(m_station));
}

void ConsoleServer::onWebSocket()
{
    while (m_streams.hasPendingConnections()) {
        std::unique_ptr<QWebSocket> socket(m_streams.nextPendingConnection());
        const QUrl url = socket->requestUrl();
        const QByteArray token = m_token.toUtf8();
        const bool allowed = url.path() == QStringLiteral("/ws")
            && (token.isEmpty()
                || sameSecret(QUrlQuery(url)
                                  .queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded)
                                  .toUtf8(),
                              token))
            && sameOrigin(socket->origin().toLatin1(), url.host(), url.port(80));
        if (!allowed) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("refused"));
            socket.release()->deleteLater();
            continue;
        }
        QWebSocket* raw = socket.get();
        auto viewer = std::make_unique<Viewer>();
        viewer->socket = std::move(socket);
        Viewer* v = viewer.get();
        connect(raw, &QWebSocket::bytesWritten, this,
                [v](qint64 written) { v->pending = std::max<qint64>(0, v->pending - written); });
        connect(raw, &QWebSocket::disconnected, this, [this, raw] { dropViewer(raw); });
        m_viewers.push_back(std::move(viewer));
        const Band& band = m_station.band();
        const QJsonObject hello{{QStringLiteral("type"), QStringLiteral("hello")},
                                {QStringLiteral("bin_hz"), band.binHz()},
                                {QStringLiteral("rows_per_s"), band.rowsPerSecond()},
                                {QStringLiteral("db_offset"), kDbOffset}};
        raw->sendTextMessage(
            QString::fromUtf8(QJsonDocument(hello).toJson(QJsonDocument::Compact)));
        for (const QJsonObject& event : m_events)
            raw->sendTextMessage(
                QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
        m_lastStatus.clear();
        m_stateTicks = kSignalsEveryTicks - 1;
        if (!m_stateTimer.isActive())
            m_stateTimer.start();
    }
    sendState();
}

void ConsoleServer::dropViewer(QWebSocket* socket)
{
    auto it = std::find_if(m_viewers.begin(), m_viewers.end(),
                           [socket](const auto& viewer) { return viewer->socket.get() == socket; });
    if (it == m_viewers.end())
        return;
    // Its signals may still be on the stack: delete it later.
    (*it)->socket->disconnect(this);
    (*it)->socket.release()->deleteLater();
    m_viewers.erase(it);
    if (m_viewers.empty())
        m_stateTimer.stop();
}

void ConsoleServer::sendRow()
{
    if (m_viewers.empty())
        return;
    const std::vector<float>& row = m_station.band().row();
    QByteArray bytes(qsizetype(row.size()), Qt::Uninitialized);
    for (std::size_t i = 0; i < row.size(); ++i) {
        const double db = row[i] > 0 ? 10 * std::log10(row[i]) : -kDbOffset;
        bytes[qsizetype(i)] = char(std::clamp(int(std::lround(db)) + kDbOffset, 0, 255));
    }
    std::vector<QWebSocket*> stalled;
    for (const auto& viewer : m_viewers) {
        if (viewer->pending > kCloseBytes)
            stalled.push_back(viewer->socket.get());
        else if (viewer->pending < kSkipRowsBytes)
            viewer->pending += viewer->socket->sendBinaryMessage(bytes);
    }
    for (QWebSocket* socket : stalled) {
        socket->abort();
        dropViewer(socket);
    }
}

void ConsoleServer::sendState()
{
    if (m_viewers.empty())
        return;
    QJsonObject status = console::statusJson(m_station);
    status.insert(QStringLiteral("type"), QStringLiteral("status"));
    const QByteArray compact = QJsonDocument(status).toJson(QJsonDocument::Compact);
    if (compact == m_lastStatus)
        return;
    m_lastStatus = compact;
    broadcast(status);
}

void ConsoleServer::broadcast(const QJsonObject& message)
{
    if (m_viewers.empty())
        return;
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    for (const auto& viewer : m_viewers)
        viewer->pending += viewer->socket->sendTextMessage(text);
}

} // namespace sondrel

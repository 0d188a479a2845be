// sondrel-sim: a stand-in analyzer server, so the terminal can be tried out
// and tested on one machine without a radio.

#include "cleanexit.h"
#include "simserver.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

namespace {

constexpr int kMaxBeaconSeconds = 24 * 60 * 60;

struct Settings {
    QHostAddress address;
    quint16 port = 0;
    sim::SimOptions options;
};

void PrintLine(std::FILE* stream, const QString& line)
{
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

std::optional<Settings> Refuse(const QString& message)
{
    PrintLine(stderr, QStringLiteral("sondrel-sim: ") + message);
    return std::nullopt;
}

std::optional<Settings> ReadSettings(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in analyzer server: takes the terminal's receive and transmit links and echoes "
        "what is transmitted at a PSK31-like pace."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                  QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on (default 5555; 0 picks a free one)."),
                                  QStringLiteral("port"), QStringLiteral("5555"));
    const QCommandLineOption fast(QStringLiteral("fast"),
                                  QStringLiteral("Echo transmitted text at once, without pacing."));
    const QCommandLineOption beacon(
        QStringLiteral("beacon"),
        QStringLiteral("Send a CQ call on the receive link every N seconds while not transmitting."),
        QStringLiteral("seconds"));
    parser.addOptions({host, port, fast, beacon});
    parser.process(app);

    Settings settings;
    const QString hostText = parser.value(host);
    if (hostText.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        settings.address = QHostAddress(QHostAddress::LocalHost);
    else if (!settings.address.setAddress(hostText))
        return Refuse(QStringLiteral("invalid host \"%1\": give an IP address").arg(hostText));
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return Refuse(QStringLiteral("invalid port \"%1\"").arg(parser.value(port)));
    settings.port = quint16(portNumber);
    settings.options.fast = parser.isSet(fast);
    if (parser.isSet(beacon)) {
        const int seconds = parser.value(beacon).toInt(&ok);
        if (!ok || seconds <= 0 || seconds > kMaxBeaconSeconds)
            return Refuse(QStringLiteral("invalid beacon interval \"%1\": give 1 to %2 seconds")
                              .arg(parser.value(beacon))
                              .arg(kMaxBeaconSeconds));
        settings.options.beaconIntervalMs = seconds * 1000;
    }
    return settings;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondrel-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARKEL_VERSION));
    const std::optional<Settings> settings = ReadSettings(app);
    if (!settings)
        return 2;

    sim::SimServer server(settings->options);
    QObject::connect(&server, &sim::SimServer::event, &server,
                     [](const QString& line) { PrintLine(stdout, line); });
    if (!server.Listen(settings->address, settings->port)) {
        const bool busy = server.Error() == QAbstractSocket::AddressInUseError;
        PrintLine(stderr, QStringLiteral("sondrel-sim: cannot listen on %1:%2: %3%4")
                              .arg(settings->address.toString())
                              .arg(settings->port)
                              .arg(server.ErrorString(),
                                   busy ? QStringLiteral(" (is another server running on that port?)")
                                        : QString()));
        return 1;
    }
    fw::InstallCleanExit(&server, [&server] {
        PrintLine(stdout, QStringLiteral("signal received, shutting down"));
        server.Stop();
        QCoreApplication::quit();
    });
    return app.exec();
}

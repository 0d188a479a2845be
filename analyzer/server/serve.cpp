#include "serve.h"

#include "cleanexit.h"
#include "console/consoleserver.h"
#include "link/linkserver.h"
#include "server/logger.h"
#include "server/loopback.h"
#include "server/rxfile.h"
#include "server/soundcard.h"
#include "server/station.h"
#include "station/driversettings.h"
#include "station/pttline.h"
#include "writeerrors.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <tuple>

namespace {

using Verbosity = sondrel::Logger::Verbosity;

struct ServeOptions {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 5555;
    QString profile;
    QString input;
    QString output;
    sondrel::InputChannel rxChannel = sondrel::InputChannel::Left;
    sondrel::StationOptions station;
    bool loopback = false;
    QString rxFile;
    sondrel::LoopbackOptions loopbackOptions;
    std::optional<sondrel::PttConfig> ptt;  // from the command line, before Pelorin's
    Verbosity verbosity = Verbosity::Normal;
    QHostAddress consoleAddress{QHostAddress::LocalHost};
    quint16 consolePort = sondrel::ConsoleServer::kDefaultPort;
    QString consoleToken;
};

// Before the options are read: errors only, as the log would show them.
void printError(const QString& line)
{
    sondrel::Logger(Verbosity::Normal, sondrel::Logger::stderrIsJournal()).error(line);
}

std::optional<ServeOptions> refuse(const QString& message)
{
    printError(message);
    return std::nullopt;
}

void setApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("sondrel"));
    QCoreApplication::setOrganizationName(QStringLiteral("Tollund"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SONDREL_VERSION));
}

// The server's options; `sondrel unkey` reads the same ones, so that it finds
// the same keying line (the others it ignores).
std::optional<ServeOptions> readOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "PSK31 analyzer server: serves the terminal's receive and transmit links from a sound card "
        "and keys the transmitter as Pelorin's settings say.\n"
        "Other commands: sondrel devices, sondrel encode, sondrel decode."));
    parser.addHelpOption();
    parser.addVersionOption();
    auto option = [&parser](const char* name, const char* text, const char* value = nullptr,
                            const char* fallback = nullptr) {
        QCommandLineOption made(QString::fromLatin1(name), QString::fromLatin1(text));
        if (value)
            made.setValueName(QString::fromLatin1(value));
        if (fallback)
            made.setDefaultValue(QString::fromLatin1(fallback));
        parser.addOption(made);
        return made;
    };
    const auto host = option("host", "Address to listen on (default 127.0.0.1).", "address", "127.0.0.1");
    const auto port = option("port", "Port to listen on (default 5555; 0 picks a free one).", "port", "5555");
    const auto profile = option("profile", "Pelorin's profile: classic (default) or summit.", "name", "classic");
    const auto input = option("input", "Input device, by (part of) its description.", "name");
    const auto output = option("output", "Output device, by (part of) its description.", "name");
    const auto rxChannel = option("rx-channel", "Input channel to receive: left (default), right or mix.",
                                  "channel", "left");
    const auto pttDelay = option("ptt-delay", "Time between keying and the first sample (default 50).", "ms", "50");
    const auto txLimit = option("tx-limit", "Longest transmission before PTT drops (default 600; 0 for none).",
                                "seconds", "600");
    const auto loopback = option("loopback", "No sound card: the channel simulator carries the signal back.");
    const auto snr = option("snr", "Loopback: signal to noise ratio in 2500 Hz (default 20).", "dB", "20");
    const auto offset = option("offset", "Loopback: frequency offset (default 0).", "Hz", "0");
    const auto rxFile = option("rx-file", "No sound card: play a recording into the receiver in real time.", "file");
    const auto rig = option("rig", "Key through the radio's CAT command: Hamlib's model number.", "model");
    const auto rigPort = option("rig-port", "The radio's CAT port, with --rig.", "device");
    const auto rigctld = option("rigctld", "Key through a rigctld daemon.", "host:port");
    const auto consolePort = option(
        "console-port", "Port of the station console in a browser (default 5580; 0: none).", "port",
        "5580");
    const auto consoleHost = option("console-host",
                                    "Address the console listens on (default 127.0.0.1).",
                                    "address", "127.0.0.1");
    const auto consoleToken = option("console-token",
                                     "Secret the console's page and API need; required for an "
                                     "address other than the loopback.",
                                     "secret");
    const auto quiet = option("quiet", "Report only errors.");
    const auto verbose = option("verbose", "Report every character sent and received too.");
    parser.process(arguments);

    ServeOptions options;
    const QString hostText = parser.value(host);
    if (hostText.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        options.address = QHostAddress(QHostAddress::LocalHost);
    else if (!options.address.setAddress(hostText))
        return refuse(QStringLiteral("invalid host \"%1\": give an IP address").arg(hostText));
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return refuse(QStringLiteral("invalid port \"%1\"").arg(parser.value(port)));
    options.port = quint16(portNumber);
    const QString profileText = parser.value(profile).toLower();
    if (profileText != QStringLiteral("classic") && profileText != QStringLiteral("summit"))
        return refuse(QStringLiteral("invalid profile \"%1\": classic or summit").arg(parser.value(profile)));
    options.profile = sondrel::profileName(profileText);
    options.input = parser.value(input);
    options.output = parser.value(output);
    const QString channel = parser.value(rxChannel).toLower();
    if (channel == QStringLiteral("right"))
        options.rxChannel = sondrel::InputChannel::Right;
    else if (channel == QStringLiteral("mix"))
        options.rxChannel = sondrel::InputChannel::Mix;
    else if (channel != QStringLiteral("left"))
        return refuse(QStringLiteral("invalid --rx-channel \"%1\": left, right or mix").arg(parser.value(rxChannel)));
    options.station.pttDelayMs = parser.value(pttDelay).toInt(&ok);
    if (!ok || options.station.pttDelayMs < 0 || options.station.pttDelayMs > 5000)
        return refuse(QStringLiteral("invalid --ptt-delay \"%1\": 0 to 5000 ms").arg(parser.value(pttDelay)));
    const int limitSeconds = parser.value(txLimit).toInt(&ok);
    if (!ok || limitSeconds < 0 || limitSeconds > 24 * 3600)
        return refuse(QStringLiteral("invalid --tx-limit \"%1\": 0 to 86400 seconds").arg(parser.value(txLimit)));
    options.station.txLimitMs = limitSeconds * 1000;
    options.loopback = parser.isSet(loopback);
    options.rxFile = parser.value(rxFile);
    if (options.loopback && parser.isSet(rxFile))
        return refuse(QStringLiteral("give --loopback or --rx-file, not both"));
    // Written so that "nan", which compares false with everything, is refused.
    options.loopbackOptions.snrDb = parser.value(snr).toDouble(&ok);
    if (!ok || !(options.loopbackOptions.snrDb >= -30 && options.loopbackOptions.snrDb <= 100))
        return refuse(QStringLiteral("invalid --snr \"%1\": -30 to 100 dB").arg(parser.value(snr)));
    options.loopbackOptions.offsetHz = parser.value(offset).toDouble(&ok);
    if (!ok || !(std::abs(options.loopbackOptions.offsetHz) <= 500))
        return refuse(QStringLiteral("invalid --offset \"%1\": -500 to 500 Hz").arg(parser.value(offset)));
    if ((parser.isSet(snr) || parser.isSet(offset)) && !options.loopback)
        return refuse(QStringLiteral("--snr and --offset go with --loopback"));
    if (parser.isSet(rig) && parser.isSet(rigctld))
        return refuse(QStringLiteral("give --rig or --rigctld, not both"));
    if (parser.isSet(rig)) {
        sondrel::PttConfig ptt;
        ptt.kind = sondrel::PttConfig::Kind::Cat;
        ptt.rigModel = parser.value(rig).toInt(&ok);
        if (!ok || ptt.rigModel <= 0)
            return refuse(QStringLiteral("invalid --rig \"%1\": a Hamlib model number").arg(parser.value(rig)));
        ptt.device = parser.value(rigPort);
        options.ptt = ptt;
    } else if (parser.isSet(rigPort)) {
        return refuse(QStringLiteral("--rig-port goes with --rig"));
    }
    if (parser.isSet(rigctld)) {
        sondrel::PttConfig ptt;
        ptt.kind = sondrel::PttConfig::Kind::Rigctld;
        ptt.address = parser.value(rigctld);
        options.ptt = ptt;
    }
    const uint consolePortNumber = parser.value(consolePort).toUInt(&ok);
    if (!ok || consolePortNumber > 65535)
        return refuse(
            QStringLiteral("invalid --console-port \"%1\"").arg(parser.value(consolePort)));
    options.consolePort = quint16(consolePortNumber);
    const QString consoleHostText = parser.value(consoleHost);
    if (consoleHostText.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        options.consoleAddress = QHostAddress(QHostAddress::LocalHost);
    else if (!options.consoleAddress.setAddress(consoleHostText))
        return refuse(QStringLiteral("invalid --console-host \"%1\": give an IP address")
                          .arg(consoleHostText));
    options.consoleToken = parser.value(consoleToken);
    // The console moves the transmitter's frequency: beyond this machine only with a secret.
    if (options.consolePort != 0 && !options.consoleAddress.isLoopback()
        && options.consoleToken.isEmpty())
        return refuse(
            QStringLiteral("--console-host %1 needs --console-token SECRET").arg(consoleHostText));
    if (parser.isSet(quiet))
        options.verbosity = Verbosity::Quiet;
    else if (parser.isSet(verbose))
        options.verbosity = Verbosity::Verbose;
    if (options.ptt)
        options.ptt->hamlibTrace = options.verbosity == Verbosity::Verbose;
    return options;
}

// Whether Pelorin's PTT value keys: not when the command line names a line,
// and not in loopback or with a recording, which have no radio.
bool pelorinKeys(const ServeOptions& options)
{
    return !options.ptt && !options.loopback && options.rxFile.isEmpty();
}

// The keying line Pelorin's settings ask for, unless the command line named one.
sondrel::PttConfig pttFor(const ServeOptions& options, const sondrel::DriverSettings& settings)
{
    sondrel::PttConfig config;
    if (options.ptt) {
        config = *options.ptt;
    } else if (pelorinKeys(options) && settings.comPort != 0) {
        config.kind = sondrel::PttConfig::Kind::SerialLines;
        config.device = settings.pttDevice;
        config.hamlibTrace = options.verbosity == Verbosity::Verbose;
    }
    return config;
}

} // namespace

int serveCommand(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setApplication();
    fw::IgnoreWriteErrorSignals();
    const std::optional<ServeOptions> options = readOptions(QCoreApplication::arguments());
    if (!options)
        return 2;
    const sondrel::Logger log(options->verbosity, sondrel::Logger::stderrIsJournal());

    // Listening comes first: it is quick, so a terminal started right after
    // finds the port, and a second server on a busy port fails before it
    // touches the sound or a keying line that the first one uses.
    sondrel::LinkServer links;
    QObject::connect(&links, &sondrel::LinkServer::event, &links, [&log](const QString& line) {
        log.write(line.startsWith(QStringLiteral("ignored")) ? sondrel::LogLevel::Debug : sondrel::LogLevel::Info,
                  line);
    });
    if (!options->address.isLoopback())
        log.warning(QStringLiteral("listening on %1, so whoever reaches it can key the transmitter")
                        .arg(options->address.toString()));
    if (!links.listen(options->address, options->port)) {
        const bool busy = links.serverError() == QAbstractSocket::AddressInUseError;
        log.error(QStringLiteral("cannot listen on %1:%2: %3%4")
                      .arg(options->address.toString())
                      .arg(options->port)
                      .arg(links.errorString(),
                           busy ? QStringLiteral(" (is another server running on that port?)") : QString()));
        return 1;
    }

    std::unique_ptr<sondrel::SignalPath> path;
    sondrel::SoundCard* card = nullptr;
    if (options->loopback) {
        path = std::make_unique<sondrel::Loopback>(options->loopbackOptions);
    } else if (!options->rxFile.isEmpty()) {
        auto recording = std::make_unique<sondrel::RxFile>(options->rxFile, options->rxChannel);
        if (!recording->open()) {
            log.error(recording->errorString());
            return 1;
        }
        QObject::connect(recording.get(), &sondrel::RxFile::ended, recording.get(),
                         [&log] { log.info(QStringLiteral("end of the recording")); });
        path = std::move(recording);
    } else {
        if (!sondrel::SoundCard::soundServerRunning()) {
            log.error(QStringLiteral("no sound server: start PulseAudio or PipeWire, or use "
                                     "--loopback or --rx-file"));
            return 1;
        }
        const QAudioDevice input = sondrel::SoundCard::findInput(options->input);
        const QAudioDevice output = sondrel::SoundCard::findOutput(options->output);
        for (const auto& [device, kind, name] : {std::tuple{output, "output", options->output},
                                                 std::tuple{input, "input", options->input}}) {
            if (device.isNull()) {
                log.error(QStringLiteral("no %1 device%2; see sondrel devices")
                              .arg(QLatin1String(kind),
                                   name.isEmpty() ? QString() : QStringLiteral(" matches \"%1\"").arg(name)));
                return 1;
            }
        }
        log.info(QStringLiteral("input: %1, output: %2").arg(input.description(), output.description()));
        auto soundCard = std::make_unique<sondrel::SoundCard>(input, output, options->rxChannel);
        card = soundCard.get();
        path = std::move(soundCard);
    }

    sondrel::Station station(links, *path, options->station);
    QObject::connect(&station, &sondrel::Station::event, &station, [&log](const QString& line) { log.info(line); });
    QObject::connect(&station, &sondrel::Station::failure, &station,
                     [&log](const QString& line) { log.error(line); });
    QObject::connect(&station, &sondrel::Station::traffic, &station, [&log](const QString& line) { log.debug(line); });
    if (options->ptt) {
        // A keying line asked for by name must work from the start; a server
        // that could not key would run on silently. A unit restarts it.
        QObject::connect(&station, &sondrel::Station::pttOpened, &station,
                         [](bool ok) {
                             // The station has logged why.
                             if (!ok)
                                 QCoreApplication::exit(1);
                         },
                         Qt::SingleShotConnection);
    }

    sondrel::ConsoleServer console(station);
    QObject::connect(&links, &sondrel::LinkServer::event, &console,
                     &sondrel::ConsoleServer::addEvent);
    QObject::connect(&station, &sondrel::Station::event, &console,
                     &sondrel::ConsoleServer::addEvent);
    QObject::connect(&station, &sondrel::Station::failure, &console,
                     &sondrel::ConsoleServer::addEvent);
    // Like the links, the console listens before the sound or a keying line is opened.
    if (options->consolePort != 0) {
        if (!console.listen(options->consoleAddress, options->consolePort, options->consoleToken)) {
            log.error(QStringLiteral("cannot listen for the console on %1:%2: %3 (--console-port "
                                     "picks another, 0 none)")
                          .arg(options->consoleAddress.toString())
                          .arg(options->consolePort)
                          .arg(console.errorString()));
            return 1;
        }
        const QString host = options->consoleAddress.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(options->consoleAddress.toString())
            : options->consoleAddress.toString();
        log.info(QStringLiteral("console on http://%1:%2/").arg(host).arg(console.serverPort()));
    }

    // A tune on the console holds across pairs until Pelorin's IF is changed.
    double storedIf = -1;
    auto readSettings = [&] {
        const sondrel::DriverSettings settings =
            sondrel::readDriverSettings(options->profile, path->sampleRate());
        for (const QString& line :
             sondrel::describe(settings, options->profile, pelorinKeys(*options))) {
            log.info(line);
            console.addEvent(line);
        }
        if (settings.centreHz != storedIf)
            station.setCentreFrequency(settings.centreHz);
        storedIf = settings.centreHz;
        station.setPtt(std::make_unique<sondrel::Ptt>(pttFor(*options, settings)));
        if (card)
            card->setRightOutput(settings.reverseOutput);
    };
    readSettings();
    QObject::connect(&links, &sondrel::LinkServer::pairStarted, &links, readSettings);

    if (!station.start()) {
        log.error(QStringLiteral("cannot start the sound: %1").arg(path->errorString()));
        return 1;
    }
    fw::InstallCleanExit(&links, [&] {
        log.info(QStringLiteral("signal received, shutting down"));
        station.shutDown();
        links.stop();
        QCoreApplication::quit();
    });
    const int status = app.exec();
    station.shutDown();
    links.stop();
    return status;
}

int unkeyCommand(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setApplication();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeAt(1);  // "unkey"
    const std::optional<ServeOptions> options = readOptions(arguments);
    if (!options)
        return 2;
    const sondrel::Logger log(options->verbosity, sondrel::Logger::stderrIsJournal());
    // Only the keying line counts here; the rate bears on the IF alone.
    const sondrel::PttConfig config =
        pttFor(*options, sondrel::readDriverSettings(options->profile, sondrel::SoundCard::kRate));
    switch (config.kind) {
    case sondrel::PttConfig::Kind::None:
        log.info(QStringLiteral("no keying line: nothing to unkey"));
        return 0;
    case sondrel::PttConfig::Kind::SerialLines:
        // Opening the port would raise its lines for a moment; the kernel
        // lowered them when the server's handle closed (hang-up on close).
        log.info(QStringLiteral("%1 fall when the port closes: nothing to unkey").arg(sondrel::describe(config)));
        return 0;
    case sondrel::PttConfig::Kind::Cat:
    case sondrel::PttConfig::Kind::Rigctld:
        break;
    }
    sondrel::PttLine line(config);
    if (!line.open() || !line.set(false)) {
        log.error(QStringLiteral("cannot unkey through %1: %2").arg(sondrel::describe(config), line.errorString()));
        return 1;
    }
    log.info(QStringLiteral("PTT off through %1").arg(sondrel::describe(config)));
    return 0;
}

// sondrel devices: the sound devices the server can use, by the names its
// --input and --output options take.

#include "commands.h"
#include "server/soundcard.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int devicesCommand(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondrel"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the sound devices of the sound server, the default ones marked with *, "
        "by the names sondrel's --input and --output options take."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("devices"), QStringLiteral("The command."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "sondrel devices: %s\n", qUtf8Printable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "sondrel devices: unexpected argument \"%s\"\n",
                     qUtf8Printable(parser.positionalArguments().at(1)));
        return 2;
    }
    if (!sondrel::SoundCard::soundServerRunning()) {
        std::fputs("sondrel devices: no sound server: start PulseAudio or PipeWire's pulse service "
                   "for this user, or point PULSE_SERVER at one\n",
                   stderr);
        return 1;
    }
    for (const QString& line : sondrel::SoundCard::describeDevices())
        std::puts(qUtf8Printable(line));
    return 0;
}

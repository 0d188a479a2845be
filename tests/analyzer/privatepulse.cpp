#include "privatepulse.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr int kStartMs = 10000;

}

PrivatePulse::~PrivatePulse()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(kStartMs))
            m_server.kill();
        m_server.waitForFinished(kStartMs);
    }
}

QProcessEnvironment PrivatePulse::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("run/native")));
    environment.remove(QStringLiteral("PULSE_SINK"));
    environment.remove(QStringLiteral("PULSE_SOURCE"));
    return environment;
}

bool PrivatePulse::start(QString* why)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty() || !m_dir.isValid()) {
        *why = QStringLiteral("pulseaudio is not installed");
        return false;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("run"));
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    QFile script(m_dir.filePath(QStringLiteral("default.pa")));
    if (!script.open(QIODevice::WriteOnly)) {
        *why = script.errorString();
        return false;
    }
    script.write(QStringLiteral(
                     "load-module module-null-sink sink_name=radio rate=48000 sink_properties=device.description=Radio\n"
                     "load-module module-remap-source source_name=radio_in master=radio.monitor "
                     "source_properties=device.description=RadioIn\n"
                     "set-default-sink radio\n"
                     "set-default-source radio_in\n"
                     // Last, so the socket appears once the devices are there.
                     "load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n")
                     .arg(m_dir.filePath(QStringLiteral("run/native")))
                     .toUtf8());
    script.close();
    m_server.setProcessEnvironment(environment());
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // -n: no system default script; as root the daemon must be told it is a user's own.
    m_server.start(program, {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1",
                             "--use-pid-file=false", "--disallow-exit", "--log-target=stderr",
                             "--log-level=error", "-F", script.fileName()});
    if (!m_server.waitForStarted(kStartMs)) {
        *why = m_server.errorString();
        return false;
    }
    const QString socket = m_dir.filePath(QStringLiteral("run/native"));
    const QDeadlineTimer deadline(kStartMs);
    while (!QFile::exists(socket) && !deadline.hasExpired() && m_server.state() == QProcess::Running)
        QThread::msleep(20);
    if (!QFile::exists(socket)) {
        *why = QStringLiteral("pulseaudio did not come up");
        return false;
    }
    return true;
}

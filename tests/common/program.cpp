#include "program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <utility>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

namespace e2e {

Program::Program(const XSession& x) : m_x(x)
{
    if (!m_root.isValid())
        return;
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("config/Tollund"));
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("logs"));
    root.mkpath(QStringLiteral("runtime"));
    // Qt wants a private runtime folder and says so on every start otherwise.
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, &m_process,
                     [this] { m_output += m_process.readAll(); });
}

namespace {
QStringList& SanitizerReports()
{
    static QStringList reports;
    return reports;
}
} // namespace

Program::~Program()
{
    Kill();
    KeepSanitizerReport();
}

QStringList Program::TakeSanitizerReports()
{
    return std::exchange(SanitizerReports(), {});
}

void Program::KeepSanitizerReport()
{
    const QByteArray output = Output();
    qsizetype first = -1;
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", ": runtime error:"}) {
        const qsizetype at = output.indexOf(mark);
        if (at >= 0 && (first < 0 || at < first))
            first = at;
    }
    if (first < 0)
        return;
    const qsizetype from = qMax<qsizetype>(0, output.lastIndexOf('\n', first) + 1);
    SanitizerReports() << QStringLiteral("%1:\n%2").arg(QFileInfo(m_executable).fileName(),
                                                        QString::fromLocal8Bit(output.mid(from, 4000)));
}

void Program::AdaptLeakSuppressions(QProcessEnvironment& env) const
{
    QString options = env.value(QStringLiteral("LSAN_OPTIONS"));
    static const QRegularExpression given(QStringLiteral("suppressions=([^:]+)"));
    const QRegularExpressionMatch match = given.match(options);
    if (!match.hasMatch())
        return;
    QFile inherited(match.captured(1));
    if (!inherited.open(QIODevice::ReadOnly))
        return;
    const QString path = m_root.filePath(QStringLiteral("lsan.supp"));
    QFile own(path);
    if (!own.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    own.write(inherited.readAll());
    own.write("\nleak:libdbus-1.so\n");
    options.replace(match.capturedStart(1), match.capturedLength(1), path);
    env.insert(QStringLiteral("LSAN_OPTIONS"), options);
}

QString Program::ConfigHome() const
{
    return m_root.filePath(QStringLiteral("config"));
}

QString Program::Home() const
{
    return m_root.filePath(QStringLiteral("home"));
}

QString Program::LogDirectory() const
{
    return m_root.filePath(QStringLiteral("logs"));
}

QString Program::SettingsPath(const QString& application) const
{
    return ConfigHome() + QStringLiteral("/Tollund/") + application + QStringLiteral(".conf");
}

void Program::WriteSetting(const QString& application, const QString& key,
                           const QVariant& value) const
{
    QSettings settings(SettingsPath(application), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

QVariant Program::ReadSetting(const QString& application, const QString& key) const
{
    QSettings settings(SettingsPath(application), QSettings::IniFormat);
    return settings.value(key);
}

bool Program::HasSetting(const QString& application, const QString& key) const
{
    QSettings settings(SettingsPath(application), QSettings::IniFormat);
    return settings.contains(key);
}

QByteArray Program::SettingsText(const QString& application) const
{
    QFile file(SettingsPath(application));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool Program::Start(const QString& executable, const QStringList& args, QString* why)
{
    if (!IsValid()) {
        if (why)
            *why = QStringLiteral("no temporary folder for the program's settings");
        return false;
    }
    QProcessEnvironment env = m_x.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
    env.insert(QStringLiteral("HOME"), Home());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
    env.remove(QStringLiteral("XDG_CONFIG_DIRS"));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    // No accessibility bridge or session bus on the test display.
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("0"));
    AdaptLeakSuppressions(env);
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(Home());
    // A second run of the same object: what the first one said is judged now.
    if (!m_executable.isEmpty())
        KeepSanitizerReport();
    m_executable = executable;
    m_output.clear();
    m_process.start(executable, args);
    if (m_process.waitForStarted(10000))
        return true;
    if (why)
        *why = QStringLiteral("%1 could not be started: %2").arg(executable, m_process.errorString());
    return false;
}

qint64 Program::Pid() const
{
    return m_process.processId();
}

bool Program::IsRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

bool Program::WaitForExit(int timeoutMs, QString* why)
{
    if (SpinUntil([&] { return !IsRunning(); }, timeoutMs))
        return true;
    if (why)
        *why = QStringLiteral("the program was still running %1 ms later; windows shown: %2")
                   .arg(timeoutMs)
                   .arg(m_x.DescribeWindows());
    return false;
}

bool Program::Signal(int signal)
{
#ifdef Q_OS_UNIX
    const qint64 pid = Pid();
    return pid > 0 && ::kill(pid_t(pid), signal) == 0;
#else
    Q_UNUSED(signal);
    return false;
#endif
}

void Program::Kill()
{
    if (!IsRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QByteArray Program::Output()
{
    m_output += m_process.readAll();
    return m_output;
}

} // namespace e2e

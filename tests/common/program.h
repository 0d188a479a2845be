#pragma once
// One run of a real program on the test display, with a settings store, home
// folder and log folder of its own in a temporary directory, so that no test
// reads or writes the developer's settings and no two runs see each other's.
// A program still running when the object goes is killed.

#include "xsession.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

namespace e2e {

class Program {
public:
    explicit Program(const XSession& x);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool IsValid() const { return m_root.isValid(); }
    QString ConfigHome() const;
    QString Home() const;
    // A folder for the QSO logs, inside the private tree.
    QString LogDirectory() const;

    // The QSettings file of `application` (organisation "Tollund").
    QString SettingsPath(const QString& application) const;
    // Writes the values through QSettings, as the program itself stores them;
    // `key` is "Section/Key".
    void WriteSetting(const QString& application, const QString& key, const QVariant& value) const;
    // A fresh read of the file each time (nothing cached between calls).
    QVariant ReadSetting(const QString& application, const QString& key) const;
    bool HasSetting(const QString& application, const QString& key) const;
    QByteArray SettingsText(const QString& application) const;

    // Starts `executable` on the session's display with the xcb platform.
    bool Start(const QString& executable, const QStringList& args, QString* why = nullptr);
    qint64 Pid() const;
    bool IsRunning() const;
    bool WaitForExit(int timeoutMs, QString* why = nullptr);
    QProcess::ExitStatus ExitStatus() const { return m_process.exitStatus(); }
    int ExitCode() const { return m_process.exitCode(); }
    // Sends `signal` (e.g. SIGTERM) to the program.
    bool Signal(int signal);
    void Kill();
    // What the program wrote on stdout and stderr so far, for failure messages.
    QByteArray Output();

    // Reports of the address, leak and undefined-behaviour sanitizers from
    // every run that has ended since the last call, with the program's name;
    // empty in a build without them or when all runs were clean.
    static QStringList TakeSanitizerReports();

private:
    void KeepSanitizerReport();
    // The suppressions the test run gives its own processes, plus the
    // system's session-bus library, which only a program on a real display
    // loads and which keeps its buffers until exit by design.
    void AdaptLeakSuppressions(QProcessEnvironment& env) const;

    const XSession& m_x;
    QString m_executable;
    QTemporaryDir m_root;
    QProcess m_process;
    QByteArray m_output;
};

} // namespace e2e

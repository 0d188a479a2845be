// One real sondrel for the server's tests: started on a free link port, with
// everything it logged, killed at the end of the test. The including test
// defines SONDREL_EXE.
#pragma once

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>

inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class SondrelProcess {
public:
    static constexpr int kStartMs = 10000;

    ~SondrelProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kStartMs);
        }
    }
    // Waits until the links listen, and the console too when `consolePort` is
    // not 0 (0: no console).
    bool start(const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
               quint16 consolePort = 0)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(SONDREL_EXE),
                        QStringList{"--port", "0", "--console-port", QString::number(consolePort)}
                            + arguments);
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
        QDeadlineTimer deadline(kStartMs);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(50);
            const QRegularExpressionMatch match = listening.match(log());
            if (match.hasMatch() && (consolePort == 0 || m_log.contains(QStringLiteral("console on")))) {
                m_port = match.captured(1).toUShort();
                return true;
            }
        }
        return false;
    }
    quint16 port() const { return m_port; }
    QString log()
    {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        return m_log;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
};

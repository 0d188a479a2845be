// One real sondrel for the server's tests: started on a free link port, with
// everything it logged, killed at the end of the test; and a terminal's two
// links to it. The including test defines SONDREL_EXE.
#pragma once

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

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

// A terminal's pair of links: the first connection receives, the second transmits.
struct Terminal {
    QTcpSocket receive;
    QTcpSocket transmit;
    QByteArray received;
    bool open(quint16 port)
    {
        receive.connectToHost(QHostAddress::LocalHost, port);
        if (!receive.waitForConnected(SondrelProcess::kStartMs))
            return false;
        transmit.connectToHost(QHostAddress::LocalHost, port);
        return transmit.waitForConnected(SondrelProcess::kStartMs);
    }
    void send(const QByteArray& bytes)
    {
        transmit.write(bytes);
        transmit.flush();
    }
    // Everything received so far, after a short wait for more.
    QByteArray& heard()
    {
        receive.waitForReadyRead(10);
        received += receive.readAll();
        return received;
    }
};

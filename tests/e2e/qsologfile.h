#pragma once
// Reading a QSO log back: the direction markers split it into the runs of
// sent and received text, in order. A log starts in the received direction.

#include <QByteArray>
#include <QFile>
#include <QList>

namespace e2e {

struct QsoRun {
    bool sent = false;
    QByteArray text;
};

struct QsoLogContent {
    QList<QsoRun> runs;
    QByteArray Sent() const
    {
        QByteArray all;
        for (const QsoRun& run : runs)
            if (run.sent)
                all += run.text;
        return all;
    }
    QByteArray Received() const
    {
        QByteArray all;
        for (const QsoRun& run : runs)
            if (!run.sent)
                all += run.text;
        return all;
    }
};

inline const QByteArray kSentMarker = QByteArrayLiteral("\r\n>>\r\n");
inline const QByteArray kReceivedMarker = QByteArrayLiteral("\r\n<<\r\n");

inline QsoLogContent ParseQsoLog(const QByteArray& log)
{
    QsoLogContent content;
    bool sent = false;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype toSent = log.indexOf(kSentMarker, pos);
        const qsizetype toReceived = log.indexOf(kReceivedMarker, pos);
        qsizetype next = -1;
        bool nextSent = false;
        if (toSent >= 0 && (toReceived < 0 || toSent < toReceived)) {
            next = toSent;
            nextSent = true;
        } else if (toReceived >= 0) {
            next = toReceived;
        }
        const QByteArray text = log.mid(pos, next < 0 ? -1 : next - pos);
        if (!text.isEmpty())
            content.runs.append({sent, text});
        if (next < 0)
            return content;
        sent = nextSent;
        pos = next + kSentMarker.size();
    }
}

inline QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace e2e

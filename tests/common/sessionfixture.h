#pragma once
// A session document wired to a real loopback server, a scripted prompter
// and a view that records every hint.

#include "document.h"
#include "hints.h"
#include "scriptedprompter.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "varkeldoc.h"
#include "wireserver.h"

#include <QByteArray>
#include <QList>

class HintRecorder : public fw::CView {
public:
    void OnUpdate(fw::CView*, quint32 h) override
    {
        hints.append(h);
        ++currentBatchSize;
    }
    void OnBeginUpdateBatch() override { currentBatchSize = 0; }
    void OnEndUpdateBatch() override { batchSizes.append(currentBatchSize); }

    // The characters of all hints of one kind, in order.
    QByteArray Chars(quint32 kind) const
    {
        QByteArray out;
        for (quint32 h : hints) {
            if (hint::Kind(h) == kind)
                out.append(static_cast<char>(hint::Char(h)));
        }
        return out;
    }

    QList<quint32> hints;
    QList<int> batchSizes;
    int currentBatchSize = 0;
};

inline fw::SettingsStore VarkelStore()
{
    return fw::SettingsStore(QStringLiteral("Varkel"));
}

inline void PointAt(quint16 port, const QString& host = QStringLiteral("127.0.0.1"))
{
    VarkelStore().WriteProfileString(keys::kSetup, keys::kHost, host);
    VarkelStore().WriteProfileInt(keys::kSetup, keys::kPort, port);
}

// A port nobody listens on (taken and released at once).
inline quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Session {
    WireServer server;
    ScriptedPrompter prompter;
    CVarkelDoc doc{prompter};
    HintRecorder view;

    Session()
    {
        doc.SetCloseWaitMs(0);
        doc.AddView(&view);
    }
    ~Session() { doc.RemoveView(&view); }

    // Listens, points the store at the server and connects both links.
    bool Connect()
    {
        if (!server.Listen())
            return false;
        PointAt(server.Port());
        doc.OnConnect();
        return doc.IsConnected() && server.WaitForConnections(2);
    }
};

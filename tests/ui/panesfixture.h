#pragma once
// Both panes on one document that talks to a loopback stand-in for the server.

#include "receiveview.h"
#include "sessionfixture.h"
#include "transmitview.h"

#include <optional>

struct Panes : Session {
    CReceiveView receive{&doc, nullptr};
    CTransmitView transmit{&doc, nullptr};

    // What the terminal sent before a marker byte typed now: the link keeps
    // order, so once the marker is in nothing sent earlier is still on its way.
    QByteArray SentBeforeMarker()
    {
        transmit.OnChar('#');
        if (!WireServer::WaitUntil([this] { return server.Received(1).endsWith('#'); }))
            return QByteArrayLiteral("<marker never arrived>");
        return server.Received(1).chopped(1);
    }

    // Hints of one kind, as one burst (as a drain sends them) or one by one.
    void Feed(quint32 kind, QByteArrayView bytes, bool asBurst = true)
    {
        std::optional<fw::CDocument::UpdateBatch> batch;
        if (asBurst)
            batch.emplace(doc);
        for (char c : bytes)
            doc.UpdateAllViews(nullptr, hint::Make(kind, static_cast<unsigned char>(c)));
    }

    CPaneView& PaneOf(quint32 kind)
    {
        return kind == hint::kReceived ? static_cast<CPaneView&>(receive) : transmit;
    }
    CPaneView& OtherThan(quint32 kind)
    {
        return kind == hint::kReceived ? static_cast<CPaneView&>(transmit) : receive;
    }
};

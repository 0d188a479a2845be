#pragma once
// The session with the analyzer server: owns the two links, the session
// flags and the QSO log, handles every command that acts on the session, and
// tells the panes what to show through view update hints.

#include "clientsocket.h"
#include "document.h"
#include "qsolog.h"
#include "settingsstore.h"

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <QString>


class CVarkelDoc : public fw::CDocument {
    Q_OBJECT
public:
    static constexpr int kSendFileLimit = 1000;
    // What the terminal holds for the transmit link beyond what the system
    // has taken: hours of text at PSK31 pace. A paste, macro or file beyond
    // it is cut at its end, and the operator is told.
    static constexpr qint64 kTransmitQueueLimit = 64 * 1024;
    static constexpr int kDefaultCloseWaitMs = 1000;

    explicit CVarkelDoc(fw::Prompter& prompter, QObject* parent = nullptr);
    ~CVarkelDoc() override;

    // Commands
    void OnConnect();
    void OnRecordQso();
    void OnSendTextfile();
    void OnTransmission();
    void OnAbortTransmission();
    void OnSetup();
    void OnMacroF9();
    void OnMacroF10();
    void OnMacroF11();
    void OnMacroF12();
    void OnClearWindows();

    // Enabling and checking of the document's commands, from the session state.
    // Ids the document does not handle are reported enabled and unchecked.
    bool IsCommandEnabled(unsigned id) const;
    bool IsCommandChecked(unsigned id) const;
    bool HandlesCommand(unsigned id) const;
    // Runs the handler of a document command; false when it is not one.
    bool OnCommand(unsigned id);

    // From the transmit pane and the senders: false when there is no transmit link.
    bool SendChar(unsigned char byte);
    void SendString(const QByteArray& bytes);
    // How many more bytes a paste, macro or file may queue now.
    qint64 TransmitRoom() const;

    bool OnNewDocument() override;

    // Ends the session as program exit does (sends Abort first when transmitting).
    void CloseSession();
    // Sends Abort now when transmitting, waiting for nothing and telling no
    // view: for a process that ends without coming back to its event loop.
    void UnkeyAtOnce();

    bool IsConnected() const { return m_bConnected; }
    bool IsTransmitting() const { return m_bTransmitting; }
    bool IsLogging() const { return m_bLogging; }
    const QString& Host() const { return m_strHost; }
    int Port() const { return m_nPort; }
    CClientSocket* RxLink() const { return m_pRxLink; }
    CClientSocket* TxLink() const { return m_pTxLink; }
    QString LogPath() const { return m_fileLog.Path(); }
    const fw::SettingsStore& Store() const { return m_store; }

    // Pause after closing each link (tests shorten it).
    void SetCloseWaitMs(int ms) { m_nCloseWaitMs = ms; }
    void SetConnectTimeoutMs(int ms) { m_nConnectTimeoutMs = ms; }

signals:
    // The main frame should reload its toolbar (labels may have changed).
    void refreshToolbarRequested();
    // Connected, transmitting or logging changed: command states must follow.
    void stateChanged();
    // The Setup command asks the user interface to run its dialog modally.
    void setupDialogRequested();
    // A link could not be connected: host, port and the reason, for the log
    // (the operator's question keeps its short text).
    void connectFailed(const QString& description);

private:
    bool ConnectLink(QPointer<CClientSocket>& link);
    // What the links signal: a chunk of received bytes to show and log, and
    // the server closing a link.
    void ProcessPendingRead(CClientSocket* link);
    void OnLinkClosed();
    void DropLink(QPointer<CClientSocket>& link);
    void Disconnect();
    void RefreshToolbar();
    // Every byte for the server goes through here, so the session knows
    // whether the last switch byte on the wire left the transmitter keyed.
    void SendOnTransmitLink(unsigned char byte);
    // Abort right behind what the system holds: what still waits for it is
    // dropped, the transmission it belonged to being stopped.
    void SendAbortNow();
    bool MayBeKeyed() const;
    // Keeps the process's last word (the unkey byte, should the program be
    // ended without coming back) armed while the transmitter may be keyed.
    void UpdateLastResort();
    void SendMacro(const QString& textKey, const QString& crKey);
    // Sends up to `limit` bytes from `file`; returns the bytes read, zero bytes included.
    int SendFileStart(QFile& file, int limit, bool* readFailed);
    void LogBytes(const QByteArray& bytes, bool received);
    void StopLoggingAfterFailure();

    QPointer<CClientSocket> m_pTxLink;
    QPointer<CClientSocket> m_pRxLink;
    QString m_strHost;
    int m_nPort;
    bool m_bConnected = false;
    bool m_bTransmitting = false;
    bool m_bLogging = false;
    bool m_bLastLoggedRx = true;
    // The switch bytes sent so far, typed ones included, leave the transmitter keyed.
    bool m_bWireKeyed = false;
    CQsoLog m_fileLog;

    fw::SettingsStore m_store;
    bool m_bDisconnecting = false;
    int m_nCloseWaitMs = kDefaultCloseWaitMs;
    int m_nConnectTimeoutMs;
};

#include "varkeldoc.h"

#include "cleanexit.h"
#include "clientsocket.h"
#include "hints.h"
#include "localwait.h"
#include "prompter.h"
#include "resource.h"
#include "settingskeys.h"
#include "stringtable.h"

namespace {
const char* const kTitleDisconnected = QT_TRANSLATE_NOOP("CVarkelDoc", "Disconnected");
const char* const kTitleConnected = QT_TRANSLATE_NOOP("CVarkelDoc", "Connected to Sondrel");
const char* const kTitleLinkLost = QT_TRANSLATE_NOOP("CVarkelDoc", "Varkel - Disconnected");
constexpr unsigned char kTransmissionToggle = 0x01;
constexpr unsigned char kAbortTransmission = 0x02;
} // namespace

CVarkelDoc::CVarkelDoc(fw::Prompter& prompter, QObject* parent)
    : fw::CDocument(prompter, parent),
      m_strHost(keys::kDefaultHost),
      m_nPort(keys::kDefaultPort),
      m_store(AppName()),
      m_nConnectTimeoutMs(CClientSocket::kDefaultConnectTimeoutMs)
{
}

CVarkelDoc::~CVarkelDoc()
{
    if (m_bConnected)
        Disconnect();
    // A link left half-made by an interrupted connect goes with us.
    delete m_pRxLink.data();
    delete m_pTxLink.data();
    m_fileLog.Close();
}

void CVarkelDoc::CloseSession()
{
    if (m_bConnected)
        Disconnect();
}

void CVarkelDoc::UnkeyAtOnce()
{
    if (!m_pTxLink || !(MayBeKeyed() || m_pTxLink->Waiting() > 0))
        return;
    SendAbortNow();
    m_bTransmitting = false;
}

bool CVarkelDoc::MayBeKeyed() const
{
    return m_bTransmitting || m_bWireKeyed;
}

qint64 CVarkelDoc::TransmitRoom() const
{
    const qint64 waiting = m_pTxLink ? m_pTxLink->Waiting() : 0;
    return qMax<qint64>(0, kTransmitQueueLimit - waiting);
}

void CVarkelDoc::SendAbortNow()
{
    if (!m_pTxLink)
        return;
    m_pTxLink->SendBeforeWaiting(kAbortTransmission);
    m_bWireKeyed = false;
    UpdateLastResort();
}

void CVarkelDoc::UpdateLastResort()
{
    if (!m_pTxLink)
        return;
    const qintptr handle = m_pTxLink->WriterHandle();
    if (handle < 0)
        return;
    // Waiting bytes may hold a switch byte that a forced end would cut off.
    if (MayBeKeyed() || m_pTxLink->Waiting() > 0)
        fw::ArmLastResortByte(handle, char(kAbortTransmission));
    else
        fw::DisarmLastResortByte(handle);
}

void CVarkelDoc::SendOnTransmitLink(unsigned char byte)
{
    if (!m_pTxLink)
        return;
    m_pTxLink->SendByte(byte);
    // The server takes these bytes as its switches wherever they come from,
    // a typed Ctrl+A or a pasted one included; Transmission's check mark
    // follows only the command, but leaving must unkey what text keyed.
    if (byte == kTransmissionToggle)
        m_bWireKeyed = !m_bWireKeyed;
    else if (byte == kAbortTransmission)
        m_bWireKeyed = false;
    UpdateLastResort();
}

bool CVarkelDoc::OnNewDocument()
{
    if (!fw::CDocument::OnNewDocument())
        return false;
    // A renewed document over a live session keeps saying so.
    SetTitle(tr(m_bConnected ? kTitleConnected : kTitleDisconnected));
    OnConnect();
    return true;
}

void CVarkelDoc::OnConnect()
{
    m_strHost = m_store.GetProfileString(keys::kSetup, keys::kHost, keys::kDefaultHost);
    m_nPort = m_store.GetProfileInt(keys::kSetup, keys::kPort, keys::kDefaultPort);
    if (m_bConnected)
        return;

    // A connect interrupted earlier may have left a link behind; start afresh.
    DropLink(m_pRxLink);
    DropLink(m_pTxLink);

    if (!ConnectLink(m_pRxLink))
        return;
    if (!ConnectLink(m_pTxLink)) {
        // Without a transmit link there is no session: do not keep a receive
        // link open behind a "not connected" state.
        DropLink(m_pRxLink);
        return;
    }

    m_bConnected = true;
    SetTitle(tr(kTitleConnected));
    emit stateChanged();
    RefreshToolbar();
}

bool CVarkelDoc::ConnectLink(QPointer<CClientSocket>& link)
{
    CClientSocket* created = new CClientSocket(this);
    link = created;
    connect(created, &CClientSocket::dataReady, this, [this, created] { ProcessPendingRead(created); });
    connect(created, &CClientSocket::closed, this, &CVarkelDoc::OnLinkClosed);
    for (;;) {
        const bool connected = link->Connect(m_strHost, m_nPort, m_nConnectTimeoutMs);
        // While a connect or the question below waits, the server may close
        // the other link and the session then drops every link: nothing is
        // left to retry on.
        if (!link)
            return false;
        if (connected)
            break;
        emit connectFailed(QStringLiteral("cannot connect to %1 port %2: %3")
                               .arg(m_strHost, QString::number(m_nPort), link->ErrorString()));
        const fw::MsgAnswer answer = GetPrompter().MessageBox(
            LoadString(IDS_CONNECT_FAILED), fw::MsgButtons::YesNo, fw::MsgIcon::Question);
        if (!link)
            return false;
        if (answer != fw::MsgAnswer::Yes) {
            DropLink(link);
            return false;
        }
    }
    link->Init();
    return true;
}

void CVarkelDoc::DropLink(QPointer<CClientSocket>& link)
{
    if (!link)
        return;
    CClientSocket* dying = link;
    link = nullptr;
    dying->Close();
    dying->deleteLater();
}

void CVarkelDoc::ProcessPendingRead(CClientSocket* link)
{
    const QByteArray bytes = link->ReceiveAll();
    if (bytes.isEmpty())
        return;
    {
        UpdateBatch batch(*this);
        for (char c : bytes)
            UpdateAllViews(nullptr, hint::Make(hint::kReceived, static_cast<unsigned char>(c)));
    }
    if (m_bLogging)
        LogBytes(bytes, true);
}

bool CVarkelDoc::SendChar(unsigned char byte)
{
    if (!m_pTxLink)
        return false;
    SendOnTransmitLink(byte);
    if (m_bLogging)
        LogBytes(QByteArray(1, static_cast<char>(byte)), false);
    return true;
}

void CVarkelDoc::OnLinkClosed()
{
    if (m_bDisconnecting)
        return;
    const bool wasConnected = m_bConnected;
    m_bConnected = false;
    SetTitle(tr(kTitleLinkLost));
    Disconnect();
    if (wasConnected)
        emit stateChanged();
}

void CVarkelDoc::Disconnect()
{
    if (m_bDisconnecting)
        return;
    m_bDisconnecting = true;
    m_bConnected = false;
    // Unkey first: a server may hang up the transmit link as soon as the
    // receive link goes, and an abort sent after that would be lost.
    // It goes before what still waits to be sent, which may be far more than
    // the server takes in the time the program has left.
    if (MayBeKeyed()) {
        SendAbortNow();
        m_bTransmitting = false;
    }
    m_bWireKeyed = false;   // a new session starts with the transmitter off
    if (m_pRxLink) {
        m_pRxLink->Close();
        fw::LocalWait(m_nCloseWaitMs);
        DropLink(m_pRxLink);
    }
    if (m_pTxLink) {
        m_pTxLink->Close();
        fw::LocalWait(m_nCloseWaitMs);
        // Text cut off here may have held a switch byte: whatever went out,
        // the transmitter is left unkeyed.
        if (m_pTxLink && m_pTxLink->Waiting() > 0)
            m_pTxLink->SendBeforeWaiting(kAbortTransmission);
        DropLink(m_pTxLink);
    }
    if (m_bLogging) {
        m_fileLog.Close();
        m_bLogging = false;
    }
    m_bDisconnecting = false;
    emit stateChanged();
}

void CVarkelDoc::OnTransmission()
{
    m_bTransmitting = !m_bTransmitting;
    SendOnTransmitLink(kTransmissionToggle);
    emit stateChanged();
    RefreshToolbar();
}

void CVarkelDoc::OnAbortTransmission()
{
    SendAbortNow();
    m_bTransmitting = false;
    emit stateChanged();
    RefreshToolbar();
}

void CVarkelDoc::OnSetup()
{
    emit setupDialogRequested();
    RefreshToolbar();
}

void CVarkelDoc::OnClearWindows()
{
    UpdateAllViews(nullptr, hint::kClear << 16);
}

void CVarkelDoc::RefreshToolbar()
{
    emit refreshToolbarRequested();
}

namespace {

// The document's commands: handler, and whether it needs a live session.
struct DocumentCommand {
    unsigned id;
    void (CVarkelDoc::*handler)();
    bool needsConnection;
};

constexpr DocumentCommand kCommands[] = {
    {ID_CONNECT, &CVarkelDoc::OnConnect, false},
    {ID_RECORD_QSO, &CVarkelDoc::OnRecordQso, true},
    {ID_SEND_TEXTFILE, &CVarkelDoc::OnSendTextfile, true},
    {ID_TRANSMISSION, &CVarkelDoc::OnTransmission, true},
    {ID_ABORT_TRANSMISSION, &CVarkelDoc::OnAbortTransmission, true},
    {ID_SETUP, &CVarkelDoc::OnSetup, false},
    {ID_MACRO_F9, &CVarkelDoc::OnMacroF9, true},
    {ID_MACRO_F10, &CVarkelDoc::OnMacroF10, true},
    {ID_MACRO_F11, &CVarkelDoc::OnMacroF11, true},
    {ID_MACRO_F12, &CVarkelDoc::OnMacroF12, true},
    {ID_CLEAR_WINDOWS, &CVarkelDoc::OnClearWindows, false},
};

const DocumentCommand* findCommand(unsigned id)
{
    for (const DocumentCommand& command : kCommands) {
        if (command.id == id)
            return &command;
    }
    return nullptr;
}

} // namespace

bool CVarkelDoc::HandlesCommand(unsigned id) const
{
    return findCommand(id) != nullptr;
}

bool CVarkelDoc::IsCommandEnabled(unsigned id) const
{
    const DocumentCommand* command = findCommand(id);
    return !command || !command->needsConnection || m_bConnected;
}

bool CVarkelDoc::IsCommandChecked(unsigned id) const
{
    switch (id) {
    case ID_RECORD_QSO:
        return m_bLogging;
    case ID_TRANSMISSION:
        return m_bTransmitting;
    default:
        return false;
    }
}

bool CVarkelDoc::OnCommand(unsigned id)
{
    const DocumentCommand* command = findCommand(id);
    if (!command)
        return false;
    if (IsCommandEnabled(id))
        (this->*command->handler)();
    return true;
}

// Record QSO: the document's side of the log (naming, markers, failures).
#include "varkeldoc.h"

#include "prompter.h"
#include "settingskeys.h"

#include <QDir>

namespace {
const QByteArray kSentMarker = QByteArrayLiteral("\r\n>>\r\n");
const QByteArray kReceivedMarker = QByteArrayLiteral("\r\n<<\r\n");
} // namespace

void CVarkelDoc::OnRecordQso()
{
    if (m_bLogging) {
        m_fileLog.Close();
        m_bLogging = false;
    } else {
        const int index = m_store.GetProfileInt(keys::kSettings, keys::kLogfileIndex, 0);
        const QString directory = m_store.GetProfileString(keys::kSettings, keys::kLogDirectory,
                                                           CQsoLog::DefaultDirectory());
        int used = index;
        if (m_fileLog.Open(directory, index, &used)) {
            m_store.WriteProfileInt(keys::kSettings, keys::kLogfileIndex, CQsoLog::NextIndex(used));
            m_bLogging = true;
        } else {
            m_bLogging = false;
            GetPrompter().MessageBox(tr("Error opening logfile!"));
        }
    }
    emit stateChanged();
    RefreshToolbar();
}

void CVarkelDoc::LogBytes(const QByteArray& bytes, bool received)
{
    QByteArray entry;
    if (received != m_bLastLoggedRx)
        entry = received ? kReceivedMarker : kSentMarker;
    entry += bytes;
    if (!m_fileLog.Write(entry)) {
        StopLoggingAfterFailure();
        return;
    }
    m_bLastLoggedRx = received;
}

void CVarkelDoc::StopLoggingAfterFailure()
{
    const QString path = QDir::toNativeSeparators(m_fileLog.Path());
    const QString reason = m_fileLog.ErrorString();
    // Stop first: the message box lets more traffic through while it is open.
    m_fileLog.Close();
    m_bLogging = false;
    emit stateChanged();
    RefreshToolbar();
    GetPrompter().MessageBox(
        tr("Error writing logfile %1: %2\nRecording has been stopped; "
           "everything written before is kept.")
            .arg(path, reason),
        fw::MsgButtons::Ok, fw::MsgIcon::Warning);
}

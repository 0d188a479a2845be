// Macros and text files: everything the operator sends besides typing.
#include "varkeldoc.h"

#include "codepage.h"
#include "hints.h"
#include "prompter.h"
#include "regularfile.h"
#include "settingskeys.h"

#include <QDir>
#include <QFile>

void CVarkelDoc::SendString(const QByteArray& bytes)
{
    UpdateBatch batch(*this);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        SendChar(byte);
        // Shown even without a transmit link, so the operator sees what was meant.
        UpdateAllViews(nullptr, hint::Make(hint::kTransmitted, byte));
    }
}

void CVarkelDoc::SendMacro(const QString& textKey, const QString& crKey)
{
    QByteArray bytes = fw::codepage::FromUnicode(m_store.GetProfileString(keys::kSetup, textKey, QString()));
    if (m_store.GetProfileInt(keys::kSetup, crKey, 0) != 0)
        bytes += "\r\n";
    const qint64 room = TransmitRoom();
    const bool cut = bytes.size() > room;
    if (cut)
        bytes.truncate(room);
    SendString(bytes);
    if (cut) {
        GetPrompter().MessageBox(tr("Macro has been cut to %1 characters!").arg(room),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Information);
    }
}

void CVarkelDoc::OnMacroF9()
{
    SendMacro(keys::kF9Macro, keys::kF9Cr);
}

void CVarkelDoc::OnMacroF10()
{
    SendMacro(keys::kF10Macro, keys::kF10Cr);
}

void CVarkelDoc::OnMacroF11()
{
    SendMacro(keys::kF11Macro, keys::kF11Cr);
}

void CVarkelDoc::OnMacroF12()
{
    SendMacro(keys::kF12Macro, keys::kF12Cr);
}

void CVarkelDoc::OnSendTextfile()
{
    const std::optional<QString> path = GetPrompter().PromptOpenFile();
    if (!path)
        return;
    QFile file;
    switch (fw::OpenRegularFileForReading(file, *path)) {
    case fw::OpenResult::Opened:
        break;
    case fw::OpenResult::NotRegular:
        // A pipe or a device could keep the window waiting for data that
        // never comes, with the transmitter keyed.
        GetPrompter().MessageBox(tr("%1 is not a regular file (it may be a pipe, a device or "
                                    "a folder), so it cannot be sent.")
                                     .arg(QDir::toNativeSeparators(*path)),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Stop);
        return;
    case fw::OpenResult::Failed:
        GetPrompter().MessageBox(tr("Error opening file!"), fw::MsgButtons::Ok,
                                 fw::MsgIcon::Stop);
        return;
    }
    const int limit = int(qMin<qint64>(kSendFileLimit, TransmitRoom()));
    bool readFailed = false;
    const int total = SendFileStart(file, limit, &readFailed);
    file.close();
    if (readFailed) {
        GetPrompter().MessageBox(tr("Error reading file %1: %2")
                                     .arg(QDir::toNativeSeparators(*path), file.errorString()),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Stop);
        return;
    }
    if (total >= limit) {
        GetPrompter().MessageBox(tr("File has been cut to %1 characters!").arg(limit),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Information);
    }
}

int CVarkelDoc::SendFileStart(QFile& file, int limit, bool* readFailed)
{
    // The whole file is one change of the transmit pane, not a thousand.
    UpdateBatch batch(*this);
    int total = 0;
    char previous = 0;
    while (total < limit) {
        char c = 0;
        if (!file.getChar(&c)) {
            *readFailed = file.error() != QFileDevice::NoError;
            break;
        }
        ++total;
        // A zero byte counts toward the limit but is neither sent nor shown.
        if (c == 0)
            continue;
        // A line of a Unix text file ends in a lone LF, which neither the panes
        // nor a receiving station take as a new line: it goes out as CR LF, as a
        // pasted one does. The limit counts the file's bytes, so the added CR
        // does not count toward it.
        if (c == '\n' && previous != '\r')
            SendString("\r");
        SendString(QByteArray(1, c));
        previous = c;
    }
    return total;
}

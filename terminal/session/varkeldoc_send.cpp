// Macros and text files: everything the operator sends besides typing.
#include "varkeldoc.h"

#include "codepage.h"
#include "hints.h"
#include "prompter.h"
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
    SendString(fw::codepage::FromUnicode(m_store.GetProfileString(keys::kSetup, textKey, QString())));
    if (m_store.GetProfileInt(keys::kSetup, crKey, 0) != 0)
        SendString(QByteArrayLiteral("\r\n"));
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
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        GetPrompter().MessageBox(QStringLiteral("Error opening file!"), fw::MsgButtons::Ok,
                                 fw::MsgIcon::Stop);
        return;
    }
    bool readFailed = false;
    const int total = SendFileStart(file, &readFailed);
    file.close();
    if (readFailed) {
        GetPrompter().MessageBox(QStringLiteral("Error reading file %1: %2")
                                     .arg(QDir::toNativeSeparators(*path), file.errorString()),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Stop);
        return;
    }
    if (total >= kSendFileLimit) {
        GetPrompter().MessageBox(QStringLiteral("File has been cut to %1 characters!").arg(kSendFileLimit),
                                 fw::MsgButtons::Ok, fw::MsgIcon::Information);
    }
}

int CVarkelDoc::SendFileStart(QFile& file, bool* readFailed)
{
    // The whole file is one change of the transmit pane, not a thousand.
    UpdateBatch batch(*this);
    int total = 0;
    while (total < kSendFileLimit) {
        char c = 0;
        if (!file.getChar(&c)) {
            *readFailed = file.error() != QFileDevice::NoError;
            break;
        }
        ++total;
        // A zero byte counts toward the limit but is neither sent nor shown.
        if (c != 0)
            SendString(QByteArray(1, c));
    }
    return total;
}

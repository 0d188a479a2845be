#include "pelorinapp.h"

#include "commandline.h"
#include "driverkeys.h"
#include "frequency.h"
#include "pelorindlg.h"
#include "pelorintexts.h"
#include "prompter.h"
#include "pttport.h"

namespace keys = pelorin::keys;

CPelorinApp::CPelorinApp(const QStringList& arguments, fw::Prompter& prompter)
    : m_store(pelorin::ChooseProfile(arguments), keys::kOrganisation), m_prompter(prompter)
{
}

int CPelorinApp::Run()
{
    CPelorinDlg dlg(m_prompter);
    dlg.SetValues(readValues());
    // Saving while the dialog is still open lets a refused write keep it open,
    // so the operator can fix the store and press OK again, or cancel.
    dlg.SetCommit([this](const pelorin::DriverValues& values) { return saveOrReport(values); });
    if (dlg.DoModal() == QDialog::Accepted)
        return 0;
    return m_saveFailed ? kExitNotSaved : 0;
}

pelorin::DriverValues CPelorinApp::readValues() const
{
    pelorin::DriverValues values;
    values.ptt = pelorin::PttIndexFromText(
        m_store.GetProfileString(keys::kSection, keys::kPtt, keys::kDefaultPtt));
    values.reverseOutputChannel = m_store.GetProfileInt(keys::kSection, keys::kReverseOutputChannel,
                                                        keys::kDefaultReverseOutputChannel);
    values.centerFrequency = pelorin::FrequencyFromStored(
        m_store.GetProfileString(keys::kSection, keys::kIf, keys::kDefaultIf));
    return values;
}

bool CPelorinApp::writeValues(const pelorin::DriverValues& values) const
{
    // Stop at the first refusal: a store that rejects one value is not to be
    // trusted with the next, and the next OK writes all three again.
    return m_store.WriteProfileString(keys::kSection, keys::kPtt,
                                      pelorin::PttTextFromIndex(values.ptt))
        && m_store.WriteProfileString(keys::kSection, keys::kIf,
                                      pelorin::FormatForStore(values.centerFrequency))
        && m_store.WriteProfileInt(keys::kSection, keys::kReverseOutputChannel,
                                   values.reverseOutputChannel);
}

bool CPelorinApp::saveOrReport(const pelorin::DriverValues& values)
{
    if (writeValues(values)) {
        m_saveFailed = false;
        return true;
    }
    m_saveFailed = true;
    m_prompter.MessageBox(pelorin::texts::SaveFailed(m_store.FileName()), fw::MsgButtons::Ok,
                          fw::MsgIcon::Stop);
    return false;
}

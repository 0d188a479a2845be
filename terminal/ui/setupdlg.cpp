#include "setupdlg.h"

#include "codepage.h"
#include "helpwindow.h"
#include "prompter.h"
#include "resource.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "stringtable.h"
#include "ui_setupdlg.h"

#include <QKeySequence>
#include <QShortcut>
#include <QShowEvent>
#include <QValidator>
#include <QWindow>
#include <optional>

namespace {

// Macros go out byte for byte in Windows-1252. A character that has no byte
// there could never be sent, so the field does not take it: a typed one is
// refused, and pasted text keeps everything else. A line break is dropped as
// well, since the CR box is how a macro ends its line.
class MacroValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        QString kept;
        kept.reserve(input.size());
        int keptPos = pos;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar ch = input.at(i);
            if (IsSendable(ch))
                kept.append(ch);
            else if (i < pos)
                --keptPos;
        }
        input = kept;
        pos = keptPos;
        return Acceptable;
    }

private:
    static bool IsSendable(QChar ch)
    {
        return ch != QLatin1Char('\r') && ch != QLatin1Char('\n')
               && fw::codepage::ToByte(ch).has_value();
    }
};

// One integer with optional blanks around it and an optional sign; anything
// else, or a number that does not fit an int, is no integer.
std::optional<int> ParseInteger(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

CSetupDlg::CSetupDlg(fw::Prompter& prompter, fw::HelpWindow* help, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SetupDlg>()), m_prompter(prompter), m_help(help)
{
    setObjectName(QStringLiteral("setupDialog"));
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("Varkel Setup"));
    // A fixed dialog, as the operator knows it: nothing to gain from resizing.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (QLineEdit* edit : {m_ui->f9MacroEdit, m_ui->f10MacroEdit, m_ui->f11MacroEdit,
                            m_ui->f12MacroEdit})
        edit->setValidator(new MacroValidator(edit));

    connect(m_ui->okButton, &QPushButton::clicked, this, &CSetupDlg::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &CSetupDlg::reject);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CSetupDlg::OnSetupHelp);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &CSetupDlg::OnSetupHelp);
}

CSetupDlg::~CSetupDlg()
{
    ReturnHelpWindow();
}

void CSetupDlg::showEvent(QShowEvent* event)
{
    // Every opening shows what the store holds now, not what it held when
    // the dialog was made.
    if (!event->spontaneous()) {
        OnInitDialog();
        m_ui->okButton->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void CSetupDlg::OnInitDialog()
{
    const fw::SettingsStore store(AppName());
    m_strHost = store.GetProfileString(keys::kSetup, keys::kHost, keys::kDefaultHost);
    m_nPort = store.GetProfileInt(keys::kSetup, keys::kPort, keys::kDefaultPort);
    m_strF9Macro = store.GetProfileString(keys::kSetup, keys::kF9Macro, QString());
    m_strF10Macro = store.GetProfileString(keys::kSetup, keys::kF10Macro, QString());
    m_strF11Macro = store.GetProfileString(keys::kSetup, keys::kF11Macro, QString());
    m_strF12Macro = store.GetProfileString(keys::kSetup, keys::kF12Macro, QString());
    m_bF9Cr = store.GetProfileInt(keys::kSetup, keys::kF9Cr, 0) != 0;
    m_bF10Cr = store.GetProfileInt(keys::kSetup, keys::kF10Cr, 0) != 0;
    m_bF11Cr = store.GetProfileInt(keys::kSetup, keys::kF11Cr, 0) != 0;
    m_bF12Cr = store.GetProfileInt(keys::kSetup, keys::kF12Cr, 0) != 0;
    DoDataExchange(false);
}

bool CSetupDlg::DoDataExchange(bool save)
{
    Ui::SetupDlg& ui = *m_ui;
    if (!save) {
        ui.hostEdit->setText(m_strHost);
        ui.portEdit->setText(QString::number(m_nPort));
        ui.f10MacroEdit->setText(m_strF10Macro);
        ui.f11MacroEdit->setText(m_strF11Macro);
        ui.f12MacroEdit->setText(m_strF12Macro);
        ui.f9MacroEdit->setText(m_strF9Macro);
        ui.f10CrCheck->setChecked(m_bF10Cr);
        ui.f11CrCheck->setChecked(m_bF11Cr);
        ui.f12CrCheck->setChecked(m_bF12Cr);
        ui.f9CrCheck->setChecked(m_bF9Cr);
        return true;
    }

    m_strHost = ui.hostEdit->text();
    const std::optional<int> port = ParseInteger(ui.portEdit->text());
    if (!port) {
        m_prompter.MessageBox(QStringLiteral("Please enter an integer."), fw::MsgButtons::Ok,
                              fw::MsgIcon::Warning);
        ui.portEdit->setFocus(Qt::OtherFocusReason);
        ui.portEdit->selectAll();
        return false;
    }
    m_nPort = *port;
    m_strF10Macro = ui.f10MacroEdit->text();
    m_strF11Macro = ui.f11MacroEdit->text();
    m_strF12Macro = ui.f12MacroEdit->text();
    m_strF9Macro = ui.f9MacroEdit->text();
    m_bF10Cr = ui.f10CrCheck->isChecked();
    m_bF11Cr = ui.f11CrCheck->isChecked();
    m_bF12Cr = ui.f12CrCheck->isChecked();
    m_bF9Cr = ui.f9CrCheck->isChecked();
    return true;
}

void CSetupDlg::accept()
{
    OnOK();
}

void CSetupDlg::OnOK()
{
    if (!DoDataExchange(true))
        return;
    if (!WriteSettings()) {
        // Closing now would let the operator believe the new values are in
        // place; keep everything as typed so OK can simply be pressed again.
        const fw::SettingsStore store(AppName());
        m_prompter.MessageBox(
            QStringLiteral("The settings could not be saved to\n%1\n\n"
                           "Check that this file can be written, then press OK again, "
                           "or press Cancel to close without saving.")
                .arg(store.FileName()),
            fw::MsgButtons::Ok, fw::MsgIcon::Stop);
        return;
    }
    QDialog::accept();
}

bool CSetupDlg::WriteSettings()
{
    const fw::SettingsStore store(AppName());
    auto text = [&store](const QString& key, const QString& value) {
        return store.WriteProfileString(keys::kSetup, key, value);
    };
    auto number = [&store](const QString& key, int value) {
        return store.WriteProfileInt(keys::kSetup, key, value);
    };
    // Stops at the first failure: the rest would fail the same way.
    return text(keys::kHost, m_strHost) && number(keys::kPort, m_nPort)
           && text(keys::kF9Macro, m_strF9Macro) && text(keys::kF10Macro, m_strF10Macro)
           && text(keys::kF11Macro, m_strF11Macro) && text(keys::kF12Macro, m_strF12Macro)
           && number(keys::kF9Cr, m_bF9Cr ? 1 : 0) && number(keys::kF10Cr, m_bF10Cr ? 1 : 0)
           && number(keys::kF11Cr, m_bF11Cr ? 1 : 0) && number(keys::kF12Cr, m_bF12Cr ? 1 : 0);
}

void CSetupDlg::done(int result)
{
    ReturnHelpWindow();
    QDialog::done(result);
}

void CSetupDlg::OnSetupHelp()
{
    if (!m_help)
        return;
    m_help->ShowContext(HIDD_SETUP);
    LendHelpWindow();
}

// A modal dialog blocks every window that is not its own, and the help window
// belongs to the main frame. The operator must be able to read, scroll and
// follow links in the Setup topic while filling in the dialog, so the help
// window counts as this dialog's own until the dialog closes.
void CSetupDlg::LendHelpWindow()
{
    QWindow* helpWindow = m_help->windowHandle();
    QWindow* own = windowHandle();
    if (!helpWindow || !own || !isVisible())
        return;
    if (helpWindow->transientParent() != own) {
        m_helpOwner = helpWindow->transientParent();
        helpWindow->setTransientParent(own);
        m_helpLent = true;
    }
    m_help->raise();
    m_help->activateWindow();
}

void CSetupDlg::ReturnHelpWindow()
{
    if (!m_helpLent)
        return;
    m_helpLent = false;
    QWindow* helpWindow = m_help ? m_help->windowHandle() : nullptr;
    if (helpWindow && helpWindow->transientParent() == windowHandle())
        helpWindow->setTransientParent(m_helpOwner);
    m_helpOwner = nullptr;
}

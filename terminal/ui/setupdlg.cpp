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
#include <limits>
#include <optional>

namespace {

// A one-line field cannot hold a line end, so a macro's carriage returns and
// line feeds show there as their control pictures. Neither has a byte in the
// code page, so no macro text can mean them otherwise.
constexpr QChar kCrPicture = QChar(0x240D);
constexpr QChar kLfPicture = QChar(0x240A);

QString ToField(QString value)
{
    return value.replace(u'\r', kCrPicture).replace(u'\n', kLfPicture);
}

QString FromField(QString text)
{
    return text.replace(kCrPicture, u'\r').replace(kLfPicture, u'\n');
}

// Macros go out byte for byte in Windows-1252. A character that has no byte
// there could never be sent, so the field does not take it: a typed one is
// refused, and pasted text keeps everything else. Pasted line ends are kept,
// shown as their pictures.
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
            if (ch == u'\r')
                kept.append(kCrPicture);
            else if (ch == u'\n')
                kept.append(kLfPicture);
            else if (ch == kCrPicture || ch == kLfPicture || fw::codepage::ToByte(ch).has_value())
                kept.append(ch);
            else if (i < pos)
                --keptPos;
        }
        input = kept;
        pos = keptPos;
        return Acceptable;
    }
};

// What the operator left alone is written back as it was read, however long
// and whatever it holds; only an edited field gives its own text.
QString Exchanged(const QLineEdit* edit, bool edited, const QString& stored)
{
    return edited ? FromField(edit->text()) : stored;
}

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
    for (QLineEdit* edit : {m_ui->hostEdit, m_ui->f9MacroEdit, m_ui->f10MacroEdit, m_ui->f11MacroEdit,
                            m_ui->f12MacroEdit}) {
        // A stored text of any length is shown whole.
        edit->setMaxLength(std::numeric_limits<int>::max());
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { m_edited.insert(edit); });
    }

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
    m_stored = {m_strHost, m_strF9Macro, m_strF10Macro, m_strF11Macro, m_strF12Macro};
    m_edited.clear();
    DoDataExchange(false);
}

bool CSetupDlg::DoDataExchange(bool save)
{
    Ui::SetupDlg& ui = *m_ui;
    if (!save) {
        ui.hostEdit->setText(m_strHost);
        ui.portEdit->setText(QString::number(m_nPort));
        ui.f10MacroEdit->setText(ToField(m_strF10Macro));
        ui.f11MacroEdit->setText(ToField(m_strF11Macro));
        ui.f12MacroEdit->setText(ToField(m_strF12Macro));
        ui.f9MacroEdit->setText(ToField(m_strF9Macro));
        ui.f10CrCheck->setChecked(m_bF10Cr);
        ui.f11CrCheck->setChecked(m_bF11Cr);
        ui.f12CrCheck->setChecked(m_bF12Cr);
        ui.f9CrCheck->setChecked(m_bF9Cr);
        return true;
    }

    m_strHost = Exchanged(ui.hostEdit, m_edited.contains(ui.hostEdit), m_stored.host);
    const std::optional<int> port = ParseInteger(ui.portEdit->text());
    if (!port) {
        m_prompter.MessageBox(QStringLiteral("Please enter an integer."), fw::MsgButtons::Ok,
                              fw::MsgIcon::Warning);
        ui.portEdit->setFocus(Qt::OtherFocusReason);
        ui.portEdit->selectAll();
        return false;
    }
    m_nPort = *port;
    m_strF10Macro = Exchanged(ui.f10MacroEdit, m_edited.contains(ui.f10MacroEdit), m_stored.f10);
    m_strF11Macro = Exchanged(ui.f11MacroEdit, m_edited.contains(ui.f11MacroEdit), m_stored.f11);
    m_strF12Macro = Exchanged(ui.f12MacroEdit, m_edited.contains(ui.f12MacroEdit), m_stored.f12);
    m_strF9Macro = Exchanged(ui.f9MacroEdit, m_edited.contains(ui.f9MacroEdit), m_stored.f9);
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
    if (!DoDataExchange(true) || !AcceptLosses())
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

// An edited macro whose stored text held characters the field could not show
// (they have no byte to send) loses them: the operator is told which before
// anything is written, and may go back.
bool CSetupDlg::AcceptLosses()
{
    const struct {
        const char* name;
        const QLineEdit* edit;
        const QString& stored;
    } fields[] = {{"F9", m_ui->f9MacroEdit, m_stored.f9},
                  {"F10", m_ui->f10MacroEdit, m_stored.f10},
                  {"F11", m_ui->f11MacroEdit, m_stored.f11},
                  {"F12", m_ui->f12MacroEdit, m_stored.f12}};
    QStringList losing;
    for (const auto& field : fields) {
        QString shown = ToField(field.stored);
        int pos = 0;
        MacroValidator().validate(shown, pos);
        if (m_edited.contains(field.edit) && FromField(shown) != field.stored)
            losing += QLatin1String(field.name);
    }
    if (losing.isEmpty())
        return true;
    const fw::MsgAnswer answer = m_prompter.MessageBox(
        QStringLiteral("The stored %1 macro text holds characters that cannot be sent, and this field "
                       "could not show them. Saving your edit drops them.\n\nSave anyway?")
            .arg(losing.join(QStringLiteral(", "))),
        fw::MsgButtons::YesNo, fw::MsgIcon::Warning);
    return answer == fw::MsgAnswer::Yes;
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

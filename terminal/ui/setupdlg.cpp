#include "setupdlg.h"

#include "codepage.h"
#include "helpwindow.h"
#include "prompter.h"
#include "resource.h"
#include "settingsstore.h"
#include "ui_setupdlg.h"

#include <QCheckBox>
#include <QKeySequence>
#include <QShortcut>
#include <QShowEvent>
#include <QValidator>
#include <QWindow>
#include <array>
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

CSetupDlg::CSetupDlg(const fw::SettingsStore& store, fw::Prompter& prompter, fw::HelpWindow* help,
                     QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SetupDlg>()), m_store(store), m_prompter(prompter),
      m_help(help)
{
    setObjectName(QStringLiteral("setupDialog"));
    m_ui->setupUi(this);
    setWindowTitle(tr("Varkel Setup"));
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
        ShowValues(SetupValues::Read(m_store));
        m_ui->okButton->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

namespace {

struct MacroControls {
    QLineEdit* text;
    QCheckBox* cr;
};

std::array<MacroControls, 4> macroControls(const Ui::SetupDlg& ui)
{
    return {{{ui.f9MacroEdit, ui.f9CrCheck},
             {ui.f10MacroEdit, ui.f10CrCheck},
             {ui.f11MacroEdit, ui.f11CrCheck},
             {ui.f12MacroEdit, ui.f12CrCheck}}};
}

} // namespace

void CSetupDlg::ShowValues(const SetupValues& values)
{
    m_shown = values;
    m_edited.clear();
    m_ui->hostEdit->setText(values.host);
    m_ui->portEdit->setText(QString::number(values.port));
    const auto controls = macroControls(*m_ui);
    for (size_t i = 0; i < controls.size(); ++i) {
        controls[i].text->setText(ToField(values.macros[i].text));
        controls[i].cr->setChecked(values.macros[i].cr);
    }
}

std::optional<SetupValues> CSetupDlg::TypedValues() const
{
    const std::optional<int> port = ParseInteger(m_ui->portEdit->text());
    if (!port)
        return std::nullopt;
    SetupValues values;
    values.host = Exchanged(m_ui->hostEdit, m_edited.contains(m_ui->hostEdit), m_shown.host);
    values.port = *port;
    const auto controls = macroControls(*m_ui);
    for (size_t i = 0; i < controls.size(); ++i) {
        values.macros[i] = {Exchanged(controls[i].text, m_edited.contains(controls[i].text),
                                      m_shown.macros[i].text),
                            controls[i].cr->isChecked()};
    }
    return values;
}

void CSetupDlg::accept()
{
    OnOK();
}

void CSetupDlg::OnOK()
{
    const std::optional<SetupValues> values = TypedValues();
    if (!values) {
        m_prompter.MessageBox(tr("Please enter an integer."), fw::MsgButtons::Ok,
                              fw::MsgIcon::Warning);
        m_ui->portEdit->setFocus(Qt::OtherFocusReason);
        m_ui->portEdit->selectAll();
        return;
    }
    if (!AcceptLosses())
        return;
    if (!values->Write(m_store)) {
        // Closing now would let the operator believe the new values are in
        // place; keep everything as typed so OK can simply be pressed again.
        m_prompter.MessageBox(
            tr("The settings could not be saved to\n%1\n\n"
               "Check that this file can be written, then press OK again, "
               "or press Cancel to close without saving.")
                .arg(m_store.FileName()),
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
    QStringList losing;
    const auto controls = macroControls(*m_ui);
    for (size_t i = 0; i < controls.size(); ++i) {
        const QString& stored = m_shown.macros[i].text;
        QString shown = ToField(stored);
        int pos = 0;
        MacroValidator().validate(shown, pos);
        if (m_edited.contains(controls[i].text) && FromField(shown) != stored)
            losing += QStringLiteral("F%1").arg(9 + i);
    }
    if (losing.isEmpty())
        return true;
    const fw::MsgAnswer answer = m_prompter.MessageBox(
        tr("The stored %1 macro text holds characters that cannot be sent, and this field "
           "could not show them. Saving your edit drops them.\n\nSave anyway?")
            .arg(losing.join(QStringLiteral(", "))),
        fw::MsgButtons::YesNo, fw::MsgIcon::Warning);
    return answer == fw::MsgAnswer::Yes;
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

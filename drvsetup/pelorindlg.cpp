#include "pelorindlg.h"

#include "aboutdlg.h"
#include "frequency.h"
#include "helpwindow.h"
#include "pelorinhelp.h"
#include "pelorinresources.h"
#include "pelorintexts.h"
#include "prompter.h"
#include "pttport.h"
#include "ui_pelorindlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QShortcut>

CPelorinDlg::CPelorinDlg(fw::Prompter& prompter, QWidget* parent)
    // A fixed-size settings box: title, system menu and close box, nothing to
    // minimise or maximise.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_ui(std::make_unique<Ui::CPelorinDlg>()),
      m_prompter(prompter)
{
    m_ui->setupUi(this);
    setWindowIcon(pelorin::ProgramIcon());

    // The ids are the radio index the driver's PTT value maps to, in the
    // order the buttons appear.
    const QList<QAbstractButton*> ptt{m_ui->pttCom1, m_ui->pttCom2, m_ui->pttCom3, m_ui->pttCom4,
                                      m_ui->pttNone};
    for (int index = 0; index < ptt.size(); ++index)
        m_ui->pttButtons->setId(ptt[index], index);

    // The window manager's system menu cannot be extended, so the About item
    // lives on the dialog's own context menu and on a small button.
    auto* about = new QAction(pelorin::ProgramIcon(), pelorin::texts::AboutMenuItem(), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_ui->aboutButton->setDefaultAction(about);
    connect(about, &QAction::triggered, this, &CPelorinDlg::OnAbout);

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &CPelorinDlg::OnHelp);

    connect(m_ui->okButton, &QPushButton::clicked, this, &CPelorinDlg::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPelorinDlg::~CPelorinDlg() = default;

void CPelorinDlg::SetValues(const pelorin::DriverValues& values)
{
    m_values = values;
    if (QAbstractButton* button = m_ui->pttButtons->button(values.ptt)) {
        button->setChecked(true);
    } else {
        // An exclusive group never lets its last ticked button go.
        m_ui->pttButtons->setExclusive(false);
        for (QAbstractButton* each : m_ui->pttButtons->buttons())
            each->setChecked(false);
        m_ui->pttButtons->setExclusive(true);
    }
    m_ui->centerFrequencyEdit->setText(pelorin::FormatForField(values.centerFrequency));
    // A two-state box has no third state for a stored 2, so only 1 ticks it.
    m_ui->reverseOutputChannelCheck->setChecked(values.reverseOutputChannel == 1);
}

std::optional<pelorin::DriverValues> CPelorinDlg::typedValues()
{
    const pelorin::FieldValue field = pelorin::ReadFrequencyField(m_ui->centerFrequencyEdit->text());
    switch (field.status) {
    case pelorin::FieldStatus::NotANumber:
        failOnFrequencyField(pelorin::texts::EnterNumber());
        return std::nullopt;
    case pelorin::FieldStatus::OutOfRange:
        failOnFrequencyField(
            pelorin::texts::EnterNumberBetween(pelorin::kMinFrequency, pelorin::kMaxFrequency));
        return std::nullopt;
    case pelorin::FieldStatus::Ok:
        break;
    }
    return pelorin::DriverValues{m_ui->pttButtons->checkedId(), field.value,
                                 m_ui->reverseOutputChannelCheck->isChecked() ? 1 : 0};
}

void CPelorinDlg::failOnFrequencyField(const QString& message)
{
    m_prompter.MessageBox(message, fw::MsgButtons::Ok, fw::MsgIcon::Warning);
    m_ui->centerFrequencyEdit->setFocus(Qt::OtherFocusReason);
    m_ui->centerFrequencyEdit->selectAll();
}

int CPelorinDlg::DoModal()
{
    // Enter right away must save the values as shown.
    m_ui->okButton->setFocus(Qt::OtherFocusReason);
    return exec();
}

void CPelorinDlg::accept()
{
    const std::optional<pelorin::DriverValues> typed = typedValues();
    if (!typed)
        return;
    m_values = *typed;
    if (m_commit && !m_commit(m_values))
        return;
    QDialog::accept();
}

void CPelorinDlg::OnAbout()
{
    pelorin::CAboutDlg about(this);
    about.exec();
}

int CPelorinDlg::helpContextOfFocus() const
{
    QWidget* focus = focusWidget();
    if (focus == m_ui->centerFrequencyEdit)
        return pelorin::help::kFrequency;
    if (focus == m_ui->reverseOutputChannelCheck)
        return pelorin::help::kReverseOutputChannel;
    if (auto* button = qobject_cast<QAbstractButton*>(focus);
        button && m_ui->pttButtons->id(button) != -1)
        return pelorin::help::kPtt;
    return 0;
}

void CPelorinDlg::OnHelp()
{
    // A child window of the modal dialog, so the operator can read it while
    // the dialog stays open.
    if (!m_help)
        m_help = pelorin::help::CreateHelp(this);
    m_help->ShowContext(helpContextOfFocus());
}

#pragma once
// The settings dialog: shows the driver's three values, lets the operator
// change them and checks the frequency before OK may close it. The caller
// fills the m_ members before DoModal and reads them back after OK; a commit
// step, when set, runs after a successful check and can keep the dialog open
// (the store refused the values) so that the operator can retry or cancel.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>

class QButtonGroup;

namespace Ui {
class CPelorinDlg;
}
namespace fw {
class Prompter;
class HelpWindow;
}

class CPelorinDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPelorinDlg(fw::Prompter& prompter, QWidget* parent = nullptr);
    ~CPelorinDlg() override;

    // false: fills the controls from the members. true: reads the controls
    // into the members, telling the operator when the frequency is not an
    // accepted number; returns false then, leaving the field's text selected.
    bool UpdateData(bool saveAndValidate);

    // Fills the controls, gives OK the focus and runs the dialog modally.
    int DoModal();

    // Runs after OK's check passed; returning false keeps the dialog open.
    void SetCommit(std::function<bool()> commit) { m_commit = std::move(commit); }

    int m_nPtt = -1;                   // 0 to 3 COM1 to COM4, 4 None, -1 no button
    double m_dCenterFrequency = 0.0;   // hertz
    int m_bReverseOutputChannel = 0;   // 1 ticks the box; any other number leaves it clear

public slots:
    void accept() override;

private:
    void OnAbout();
    void OnHelp();
    int helpContextOfFocus() const;
    void failOnFrequencyField(const QString& message);

    std::unique_ptr<Ui::CPelorinDlg> m_ui;
    fw::Prompter& m_prompter;
    std::function<bool()> m_commit;
    QPointer<fw::HelpWindow> m_help;
};

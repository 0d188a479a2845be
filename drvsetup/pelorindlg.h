#pragma once
// The settings dialog: shows the driver's three values, lets the operator
// change them and checks the frequency before OK may close it. The caller
// hands in the values and reads them back after OK; a commit step, when set,
// runs after a successful check and can keep the dialog open (the store
// refused the values) so that the operator can retry or cancel.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;

namespace Ui {
class CPelorinDlg;
}
namespace fw {
class Prompter;
class HelpWindow;
}

namespace pelorin {

// The driver's three values as the dialog shows and returns them.
struct DriverValues {
    int ptt = -1;                  // 0 to 3 COM1 to COM4, 4 None, -1 no button
    double centerFrequency = 0.0;  // hertz
    int reverseOutputChannel = 0;  // 1 ticks the box; any other number leaves it clear
};

} // namespace pelorin

class CPelorinDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPelorinDlg(fw::Prompter& prompter, QWidget* parent = nullptr);
    ~CPelorinDlg() override;

    // Fills the controls.
    void SetValues(const pelorin::DriverValues& values);
    // What OK last accepted (before that, what SetValues gave).
    const pelorin::DriverValues& Values() const { return m_values; }

    // Gives OK the focus and runs the dialog modally.
    int DoModal();

    // Runs after OK's check passed; returning false keeps the dialog open.
    void SetCommit(std::function<bool(const pelorin::DriverValues&)> commit)
    {
        m_commit = std::move(commit);
    }

public slots:
    void accept() override;

private:
    void OnAbout();
    void OnHelp();
    // The controls' values, telling the operator when the frequency is not
    // an accepted number; none then, leaving the field's text selected.
    std::optional<pelorin::DriverValues> typedValues();
    int helpContextOfFocus() const;
    void failOnFrequencyField(const QString& message);

    std::unique_ptr<Ui::CPelorinDlg> m_ui;
    fw::Prompter& m_prompter;
    pelorin::DriverValues m_values;
    std::function<bool(const pelorin::DriverValues&)> m_commit;
    QPointer<fw::HelpWindow> m_help;
};

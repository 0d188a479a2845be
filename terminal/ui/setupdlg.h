#pragma once
// The Setup dialog: host, port and the four function-key macros with their
// line-end boxes. It only reads the settings store when it opens and writes
// it on OK; everyone else picks the values up at their next use.

#include "setupvalues.h"

#include <QDialog>
#include <QPointer>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace fw {
class Prompter;
class HelpWindow;
class SettingsStore;
}
namespace Ui {
class SetupDlg;
}
class QWindow;

class CSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Shows and stores the values of `store`. `help` opens the Setup topic for
    // the Help button; it may be null.
    CSetupDlg(const fw::SettingsStore& store, fw::Prompter& prompter,
              fw::HelpWindow* help = nullptr, QWidget* parent = nullptr);
    ~CSetupDlg() override;

    // Enter in a field and the OK button both end up here.
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowValues(const SetupValues& values);
    // The values to store: an edited field gives its text, any other the value
    // read. None when the port field holds no integer.
    std::optional<SetupValues> TypedValues() const;
    void OnOK();
    // False when the operator would rather keep characters an edit drops.
    bool AcceptLosses();
    void OnSetupHelp();
    void LendHelpWindow();
    void ReturnHelpWindow();

    std::unique_ptr<Ui::SetupDlg> m_ui;
    const fw::SettingsStore& m_store;
    fw::Prompter& m_prompter;
    QPointer<fw::HelpWindow> m_help;
    // The help window's own transient parent, while this dialog has borrowed it.
    QPointer<QWindow> m_helpOwner;
    bool m_helpLent = false;

    // The values as read when the dialog opened, and the fields the operator
    // has edited since.
    SetupValues m_shown;
    QSet<const QObject*> m_edited;
};

#pragma once
// The Setup dialog: host, port and the four function-key macros with their
// line-end boxes. It only reads the settings store when it opens and writes
// it on OK; everyone else picks the values up at their next use.

#include <QDialog>
#include <QPointer>
#include <QSet>
#include <QString>
#include <memory>

namespace fw {
class Prompter;
class HelpWindow;
}
namespace Ui {
class SetupDlg;
}
class QWindow;

class CSetupDlg : public QDialog {
    Q_OBJECT
public:
    // `help` opens the Setup topic for the Help button; it may be null.
    explicit CSetupDlg(fw::Prompter& prompter, fw::HelpWindow* help = nullptr,
                       QWidget* parent = nullptr);
    ~CSetupDlg() override;

    // Enter in a field and the OK button both end up here.
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    // Moves the members into the controls, or (save) the controls into the
    // members; false when the port field holds no integer.
    bool DoDataExchange(bool save);
    void OnOK();
    bool AcceptLosses();
    void OnSetupHelp();
    bool WriteSettings();
    void LendHelpWindow();
    void ReturnHelpWindow();

    std::unique_ptr<Ui::SetupDlg> m_ui;
    fw::Prompter& m_prompter;
    QPointer<fw::HelpWindow> m_help;
    // The help window's own transient parent, while this dialog has borrowed it.
    QPointer<QWindow> m_helpOwner;
    bool m_helpLent = false;

    // Data exchange runs in this order.
    QString m_strHost;
    int m_nPort = 0;
    QString m_strF10Macro;
    QString m_strF11Macro;
    QString m_strF12Macro;
    QString m_strF9Macro;
    bool m_bF10Cr = false;
    bool m_bF11Cr = false;
    bool m_bF12Cr = false;
    bool m_bF9Cr = false;

    // The texts as the store held them when the dialog opened, and the
    // fields the operator has edited since.
    struct Stored {
        QString host, f9, f10, f11, f12;
    } m_stored;
    QSet<const QObject*> m_edited;
};

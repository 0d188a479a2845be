#pragma once
// The About box: program icon, version line and a line about what the
// program is for; it closes with OK, Esc or its close box.

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

// Each program has its own About box; the namespace keeps them apart.
namespace pelorin {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> m_ui;
};

} // namespace pelorin

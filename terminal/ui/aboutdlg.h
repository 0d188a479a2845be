#pragma once
// The About box: program icon, version line, maker's notice, two credit
// lines and a picture, closed with OK.

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDlg;
}

// Each program has its own About box; the namespace keeps them apart.
namespace varkel {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::AboutDlg> m_ui;
};

} // namespace varkel

#pragma once
// The About box: program icon, version line, maker's notice, two credit
// lines and a picture, closed with OK.

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDlg;
}

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::AboutDlg> m_ui;
};

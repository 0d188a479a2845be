#include "aboutdlg.h"

#include "pelorinresources.h"
#include "ui_aboutbox.h"

#include <QPushButton>

namespace pelorin {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_ui(std::make_unique<Ui::CAboutDlg>())
{
    m_ui->setupUi(this);
    const QIcon icon = pelorin::ProgramIcon();
    setWindowIcon(icon);
    m_ui->aboutIcon->setPixmap(icon.pixmap(32, 32));
    connect(m_ui->aboutOkButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

} // namespace pelorin

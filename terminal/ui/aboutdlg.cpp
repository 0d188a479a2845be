#include "aboutdlg.h"

#include "artwork.h"
#include "ui_aboutdlg.h"

#include <QPixmap>

namespace varkel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>())
{
    setObjectName(QStringLiteral("aboutDialog"));
    m_ui->setupUi(this);
    setWindowTitle(tr("About Varkel"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_ui->iconLabel->setPixmap(ProgramIcon().pixmap(QSize(32, 32)));
    m_ui->pictureLabel->setPixmap(QPixmap(QStringLiteral(":/about/about.png")));

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

} // namespace varkel

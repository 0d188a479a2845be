#include "aboutdlg.h"

#include "ui_aboutdlg.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPixmap>

// Resources compiled into a static library are only linked in when named.
static void InitAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace {

// The program icon as the main window shows it. The icon set may not be
// built into every configuration (tests link the dialogs without it), so an
// empty icon just leaves the corner blank rather than failing.
QIcon ProgramIcon()
{
    for (const char* path : {":/icons/varkel32.png", ":/icons/varkel48.png", ":/icons/varkel16.png"}) {
        const QString name = QString::fromLatin1(path);
        if (QFile::exists(name))
            return QIcon(name);
    }
    return QApplication::windowIcon();
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>())
{
    static const bool resourcesReady = (InitAboutResources(), true);
    Q_UNUSED(resourcesReady);

    setObjectName(QStringLiteral("aboutDialog"));
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("About Varkel"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    const QIcon icon = ProgramIcon();
    if (!icon.isNull())
        m_ui->iconLabel->setPixmap(icon.pixmap(QSize(32, 32)));
    m_ui->pictureLabel->setPixmap(QPixmap(QStringLiteral(":/about/about.png")));

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

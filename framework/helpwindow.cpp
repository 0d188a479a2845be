#include "helpwindow.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace fw {

HelpWindow::HelpWindow(const QString& title, QString contents, QMap<int, QString> contexts,
                       QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_contents(std::move(contents)),
      m_contexts(std::move(contexts)),
      m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(title);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(560, 480);
}

void HelpWindow::ShowContents()
{
    ShowPage(m_contents);
}

void HelpWindow::ShowContext(int context)
{
    ShowPage(m_contexts.value(context, m_contents));
}

void HelpWindow::ShowPage(const QString& page)
{
    m_browser->setSource(QUrl(page));
    show();
    raise();
    activateWindow();
}

QString HelpWindow::CurrentPage() const
{
    return m_browser->source().toString();
}

} // namespace fw

#include "widgetprompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace fw {

WidgetPrompter::WidgetPrompter(QString caption) : m_caption(std::move(caption)) {}

QWidget* WidgetPrompter::owner() const
{
    if (m_owner && m_owner->isVisible())
        return m_owner;
    return QApplication::activeWindow();
}

MsgAnswer WidgetPrompter::MessageBox(const QString& text, MsgButtons buttons, MsgIcon icon)
{
    QMessageBox box(owner());
    box.setWindowTitle(m_caption);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}

std::optional<QString> WidgetPrompter::PromptOpenFile()
{
    const QString path = QFileDialog::getOpenFileName(owner(), QString(), QString(), QString(),
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> WidgetPrompter::PromptSaveFile()
{
    const QString path = QFileDialog::getSaveFileName(owner(), QString(), QString(), QString(),
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace fw

#pragma once
// Prompter that asks the user with real message boxes and file dialogs.

#include "prompter.h"

#include <QPointer>
#include <QWidget>

namespace fw {

class WidgetPrompter : public Prompter {
public:
    // `caption` titles every message box (the program's name).
    explicit WidgetPrompter(QString caption);

    // Owner window of the boxes; the active window is used while none is set.
    void SetOwner(QWidget* owner) { m_owner = owner; }

    MsgAnswer MessageBox(const QString& text, MsgButtons buttons = MsgButtons::Ok,
                         MsgIcon icon = MsgIcon::None) override;
    std::optional<QString> PromptOpenFile() override;
    std::optional<QString> PromptSaveFile() override;

private:
    QWidget* owner() const;

    QString m_caption;
    QPointer<QWidget> m_owner;
};

} // namespace fw

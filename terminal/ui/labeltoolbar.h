#pragma once
// The main window's toolbar. Two looks, chosen by the stored setting
// "ToolbarInIE4Style": classic raised buttons showing only their images, or
// flat buttons with a text label under each image, all as large as the
// largest. The macro buttons are labelled with their macro texts, so the bar
// is reloaded whenever those may have changed.

#include <QHash>
#include <QSize>
#include <QToolBar>

class CCommandActions;
class QToolButton;

namespace fw {
class SettingsStore;
}

class CLabelToolBar : public QToolBar {
    Q_OBJECT
public:
    static constexpr QSize kImageSize{16, 15};
    // The classic button: the image plus 7 pixels each way.
    static constexpr QSize kButtonSize{kImageSize.width() + 7, kImageSize.height() + 7};
    static constexpr int kMacroLabelLength = 10;

    CLabelToolBar(const CCommandActions& commands, const fw::SettingsStore& store,
                  QWidget* parent = nullptr);

    // Loads the toolbar resource `resourceId` (buttons, separators and images)
    // and lays it out in the style stored now. False for an unknown resource
    // or a missing image strip; the bar then keeps what it had.
    bool LoadToolBar(unsigned resourceId);

    // The label an item carries in the IE4 style: the last piece of its
    // command string, or for a macro key the start of its stored text.
    QString ItemLabel(unsigned id) const;
    // The last piece of `text` split at line feeds, runs of them counting as
    // one and those at either end ignored; empty when there is no piece.
    static QString LastPiece(const QString& text);

    QToolButton* Button(unsigned id) const { return m_buttons.value(id); }
    bool IsLabelled() const { return m_bLabelled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Build();
    void ShowClassic();
    void ShowLabelled();

    const CCommandActions& m_commands;
    const fw::SettingsStore& m_store;
    QHash<unsigned, QToolButton*> m_buttons;
    bool m_bLabelled = false;
};

#pragma once
// The terminal's commands as data: for every command id the texts its menu
// item shows, then the menu bar's layout, the accelerator table and the
// toolbar's items. CCommandActions turns the table into exactly one QAction per
// command, shared by every menu item, button and key that reaches it, so a
// command is enabled, checked or labelled in one place only.

#include <QHash>
#include <QKeyCombination>
#include <QList>
#include <QObject>

#include <span>

class QAction;
class QWidget;

// Marks a separator in a menu or on the toolbar.
constexpr unsigned kSeparator = 0;

struct CommandInfo {
    unsigned id;
    const char* objectName;  // of the QAction, for tests and accessibility tools
    const char* menuText;    // exactly as the menu shows it; null when in no menu
    bool checkable;
};

// One entry of the menu bar: a popup with its items, or (title null) a command
// placed directly on the bar.
struct MenuBarEntry {
    const char* title;
    const char* objectName;
    unsigned id;                    // the command on the bar; 0 for a popup
    std::span<const unsigned> items;  // kSeparator for a divider
};

struct Accelerator {
    QKeyCombination key;
    unsigned id;
};

std::span<const CommandInfo> CommandTable();
const CommandInfo* FindCommand(unsigned id);
std::span<const MenuBarEntry> MenuBarTable();
std::span<const Accelerator> AcceleratorTable();
// The toolbar resource's items in order; kSeparator between the groups.
std::span<const unsigned> ToolbarItems();

class CCommandActions : public QObject {
    Q_OBJECT
public:
    // Creates the actions as children of `window` and adds them to it, so every
    // key works wherever the focus is in that window, menu or no menu.
    explicit CCommandActions(QWidget* window);

    QAction* Action(unsigned id) const { return m_actions.value(id); }
    // Every command id, in table order.
    const QList<unsigned>& Ids() const { return m_ids; }

private:
    QHash<unsigned, QAction*> m_actions;
    QList<unsigned> m_ids;
};

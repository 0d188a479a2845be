#include "commandtable.h"

#include "resource.h"
#include "stringtable.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>

#include <algorithm>

namespace {

constexpr CommandInfo kCommands[] = {
    {ID_APP_ABOUT, "actionAbout", QT_TRANSLATE_NOOP("CommandTable", "&About Varkel..."), false},
    {ID_CONNECT, "actionConnect", QT_TRANSLATE_NOOP("CommandTable", "&Connect"), false},
    {ID_TRANSMISSION, "actionTransmission", QT_TRANSLATE_NOOP("CommandTable", "&Transmission\tF5"), true},
    {ID_ABORT_TRANSMISSION, "actionAbortTransmission", QT_TRANSLATE_NOOP("CommandTable", "&Abort Transmission"), false},
    {ID_SEND_TEXTFILE, "actionSendTextfile", QT_TRANSLATE_NOOP("CommandTable", "&Send Textfile"), false},
    {ID_RECORD_QSO, "actionRecordQso", QT_TRANSLATE_NOOP("CommandTable", "&Record QSO"), true},
    {ID_MACRO_F9, "actionMacroF9", nullptr, false},
    {ID_MACRO_F10, "actionMacroF10", nullptr, false},
    {ID_MACRO_F11, "actionMacroF11", nullptr, false},
    {ID_MACRO_F12, "actionMacroF12", nullptr, false},
    {ID_SETUP, "actionSetup", QT_TRANSLATE_NOOP("CommandTable", "&Setup"), false},
    {ID_CLEAR_WINDOWS, "actionClearWindows", QT_TRANSLATE_NOOP("CommandTable", "&Clear Windows"), false},
    {ID_TOOLBAR_IE4_STYLE, "actionToolbarIE4Style", QT_TRANSLATE_NOOP("CommandTable", "Toolbar in &IE4 style"), true},
    {ID_APP_EXIT, "actionExit", QT_TRANSLATE_NOOP("CommandTable", "E&xit"), false},
    {ID_VIEW_TOOLBAR, "actionViewToolbar", QT_TRANSLATE_NOOP("CommandTable", "&Toolbar"), true},
    {ID_VIEW_STATUS_BAR, "actionViewStatusBar", QT_TRANSLATE_NOOP("CommandTable", "&Status Bar"), true},
    {ID_HELP_FINDER, "actionHelpFinder", QT_TRANSLATE_NOOP("CommandTable", "&Help Topics\tF1"), false},
    {ID_HELP, "actionHelp", nullptr, false},
    {ID_CONTEXT_HELP, "actionContextHelp", nullptr, false},
    {ID_DEFAULT_HELP, "actionDefaultHelp", nullptr, false},
    {ID_FILE_NEW, "actionFileNew", nullptr, false},
    {ID_FILE_OPEN, "actionFileOpen", nullptr, false},
    {ID_FILE_SAVE, "actionFileSave", nullptr, false},
    {ID_EDIT_COPY, "actionEditCopy", nullptr, false},
    {ID_EDIT_CUT, "actionEditCut", nullptr, false},
    {ID_EDIT_PASTE, "actionEditPaste", nullptr, false},
    {ID_EDIT_UNDO, "actionEditUndo", nullptr, false},
    {ID_NEXT_PANE, "actionNextPane", nullptr, false},
    {ID_PREV_PANE, "actionPrevPane", nullptr, false},
};

constexpr unsigned kFileMenu[] = {ID_SEND_TEXTFILE, ID_RECORD_QSO, kSeparator, ID_APP_EXIT};
// The IE4 style item is ours: without it the style could only be chosen by
// editing the settings file.
constexpr unsigned kViewMenu[] = {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, kSeparator,
                                  ID_CLEAR_WINDOWS, ID_TOOLBAR_IE4_STYLE};
constexpr unsigned kTxMenu[] = {ID_TRANSMISSION, ID_ABORT_TRANSMISSION};
constexpr unsigned kHelpMenu[] = {ID_HELP_FINDER, kSeparator, ID_APP_ABOUT};

constexpr MenuBarEntry kMenuBar[] = {
    {QT_TRANSLATE_NOOP("CommandTable", "&File"), "menuFile", 0, kFileMenu},
    {QT_TRANSLATE_NOOP("CommandTable", "&View"), "menuView", 0, kViewMenu},
    {nullptr, nullptr, ID_CONNECT, {}},
    {nullptr, nullptr, ID_SETUP, {}},
    {QT_TRANSLATE_NOOP("CommandTable", "&TX Control"), "menuTxControl", 0, kTxMenu},
    {QT_TRANSLATE_NOOP("CommandTable", "&Help"), "menuHelp", 0, kHelpMenu},
};

constexpr Accelerator kAccelerators[] = {
    {Qt::CTRL | Qt::Key_C, ID_EDIT_COPY},
    {Qt::CTRL | Qt::Key_N, ID_FILE_NEW},
    {Qt::CTRL | Qt::Key_O, ID_FILE_OPEN},
    {Qt::CTRL | Qt::Key_S, ID_FILE_SAVE},
    {Qt::CTRL | Qt::Key_V, ID_EDIT_PASTE},
    {Qt::ALT | Qt::Key_Backspace, ID_EDIT_UNDO},
    {Qt::SHIFT | Qt::Key_Delete, ID_EDIT_CUT},
    {QKeyCombination(Qt::Key_F1), ID_HELP},
    {QKeyCombination(Qt::Key_F10), ID_MACRO_F10},
    {QKeyCombination(Qt::Key_F11), ID_MACRO_F11},
    {QKeyCombination(Qt::Key_F12), ID_MACRO_F12},
    {QKeyCombination(Qt::Key_F5), ID_TRANSMISSION},
    {QKeyCombination(Qt::Key_F6), ID_NEXT_PANE},
    {Qt::SHIFT | Qt::Key_F6, ID_PREV_PANE},
    {QKeyCombination(Qt::Key_F9), ID_MACRO_F9},
    {Qt::CTRL | Qt::Key_Insert, ID_EDIT_COPY},
    {Qt::SHIFT | Qt::Key_Insert, ID_EDIT_PASTE},
    {Qt::CTRL | Qt::Key_X, ID_EDIT_CUT},
    {Qt::CTRL | Qt::Key_Z, ID_EDIT_UNDO},
};

constexpr unsigned kToolbar[] = {
    ID_APP_ABOUT, kSeparator, ID_CONNECT, kSeparator, ID_TRANSMISSION, ID_ABORT_TRANSMISSION,
    kSeparator, ID_SEND_TEXTFILE, ID_RECORD_QSO, kSeparator, ID_MACRO_F9, ID_MACRO_F10,
    ID_MACRO_F11, ID_MACRO_F12,
};

} // namespace

std::span<const CommandInfo> CommandTable()
{
    return kCommands;
}

const CommandInfo* FindCommand(unsigned id)
{
    const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                 [id](const CommandInfo& info) { return info.id == id; });
    return it == std::end(kCommands) ? nullptr : &*it;
}

std::span<const MenuBarEntry> MenuBarTable()
{
    return kMenuBar;
}

std::span<const Accelerator> AcceleratorTable()
{
    return kAccelerators;
}

std::span<const unsigned> ToolbarItems()
{
    return kToolbar;
}

CCommandActions::CCommandActions(QWidget* window) : QObject(window)
{
    setObjectName(QStringLiteral("commandActions"));
    for (const CommandInfo& info : kCommands) {
        auto* action = new QAction(window);
        action->setObjectName(QLatin1String(info.objectName));
        // A command in no menu still gets a name for shortcut editors and
        // screen readers; the macros stay nameless, since an unset toolbar
        // label falls back to the action's text.
        if (info.menuText)
            action->setText(QCoreApplication::translate("CommandTable", info.menuText));
        else
            action->setText(CommandTooltip(info.id));
        action->setStatusTip(CommandPrompt(info.id));
        action->setToolTip(CommandTooltip(info.id));
        action->setWhatsThis(CommandPrompt(info.id));
        action->setCheckable(info.checkable);

        QList<QKeySequence> keys;
        for (const Accelerator& accelerator : kAccelerators) {
            if (accelerator.id == info.id)
                keys.append(QKeySequence(accelerator.key));
        }
        action->setShortcuts(keys);

        window->addAction(action);
        m_actions.insert(info.id, action);
        m_ids.append(info.id);
    }
}

#include "stringtable.h"

#include "resource.h"

#include <QCoreApplication>
#include <QHash>

namespace {

const QHash<unsigned, const char*>& table()
{
    static const QHash<unsigned, const char*> strings = {
        // The document template string: the frame's title is its first part;
        // the others name the document type where a platform registers file
        // types (Windows), so the entry stays whole.
        {IDR_MAINFRAME, QT_TRANSLATE_NOOP("StringTable", "Varkel\n\nLumet\n\n\nVarkel.Document\nLumet Document")},
        {IDS_CONNECT_FAILED, QT_TRANSLATE_NOOP("StringTable", "Failed to connect to server\nTry again?")},
        {AFX_IDS_APP_TITLE, QT_TRANSLATE_NOOP("StringTable", "Varkel")},
        {AFX_IDS_IDLEMESSAGE, QT_TRANSLATE_NOOP("StringTable", "For Help, press F1")},
        {AFX_IDS_HELPMODEMESSAGE, QT_TRANSLATE_NOOP("StringTable", "Select an object on which to get Help")},
        {ID_INDICATOR_CAPS, QT_TRANSLATE_NOOP("StringTable", "CAP")},
        {ID_INDICATOR_NUM, QT_TRANSLATE_NOOP("StringTable", "NUM")},
        {ID_INDICATOR_SCRL, QT_TRANSLATE_NOOP("StringTable", "SCRL")},

        {ID_APP_ABOUT, QT_TRANSLATE_NOOP("StringTable", "Display program information, version number and copyright\nAbout")},
        {ID_CONNECT, QT_TRANSLATE_NOOP("StringTable", "Establish connection to Sondrel\nConnect")},
        {ID_TRANSMISSION, QT_TRANSLATE_NOOP("StringTable", "Activate Transmission\nTransmit")},
        {ID_ABORT_TRANSMISSION, QT_TRANSLATE_NOOP("StringTable", "Abort Transmission\nAbort")},
        {ID_SEND_TEXTFILE, QT_TRANSLATE_NOOP("StringTable", "Send File\nSend File")},
        {ID_RECORD_QSO, QT_TRANSLATE_NOOP("StringTable", "Record QSO\nRecord")},
        {ID_SETUP, QT_TRANSLATE_NOOP("StringTable", "Change host, port and function key macros\nSetup")},
        {ID_CLEAR_WINDOWS, QT_TRANSLATE_NOOP("StringTable", "Clear Send and Transmit Window\nClear Windows")},
        {ID_TOOLBAR_IE4_STYLE, QT_TRANSLATE_NOOP("StringTable", "Display Toolbar in IE4 style")},
        {ID_APP_EXIT, QT_TRANSLATE_NOOP("StringTable", "Quit the application; prompts to save documents\nExit")},
        {ID_VIEW_TOOLBAR, QT_TRANSLATE_NOOP("StringTable", "Show or hide the toolbar\nToggle ToolBar")},
        {ID_VIEW_STATUS_BAR, QT_TRANSLATE_NOOP("StringTable", "Show or hide the status bar\nToggle StatusBar")},
        {ID_HELP_FINDER, QT_TRANSLATE_NOOP("StringTable", "List Help topics\nHelp Topics")},
        {ID_HELP, QT_TRANSLATE_NOOP("StringTable", "Display help for current task or command\nHelp")},
        {ID_CONTEXT_HELP, QT_TRANSLATE_NOOP("StringTable", "Display help for clicked on buttons, menus and windows\nHelp")},
        {ID_FILE_NEW, QT_TRANSLATE_NOOP("StringTable", "Create a new document\nNew")},
        {ID_FILE_OPEN, QT_TRANSLATE_NOOP("StringTable", "Open an existing document\nOpen")},
        {ID_FILE_SAVE, QT_TRANSLATE_NOOP("StringTable", "Save the active document\nSave")},
        {ID_EDIT_COPY, QT_TRANSLATE_NOOP("StringTable", "Copy the selection and put it on the Clipboard\nCopy")},
        {ID_EDIT_CUT, QT_TRANSLATE_NOOP("StringTable", "Cut the selection and put it on the Clipboard\nCut")},
        {ID_EDIT_PASTE, QT_TRANSLATE_NOOP("StringTable", "Insert Clipboard contents\nPaste")},
        {ID_EDIT_UNDO, QT_TRANSLATE_NOOP("StringTable", "Undo the last action\nUndo")},
        {ID_NEXT_PANE, QT_TRANSLATE_NOOP("StringTable", "Switch to the next window pane\nNext Pane")},
        {ID_PREV_PANE, QT_TRANSLATE_NOOP("StringTable", "Switch back to the previous window pane\nPrevious Pane")},
    };
    return strings;
}

} // namespace

QString LoadString(unsigned id)
{
    const char* text = table().value(id);
    return text ? QCoreApplication::translate("StringTable", text) : QString();
}

QString CommandPrompt(unsigned id)
{
    const QString text = LoadString(id);
    return text.section(QLatin1Char('\n'), 0, 0);
}

QString CommandTooltip(unsigned id)
{
    const QString text = LoadString(id);
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    return lf < 0 ? QString() : text.mid(lf + 1);
}

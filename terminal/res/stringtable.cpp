#include "stringtable.h"

#include "resource.h"

#include <QHash>

namespace {

const QHash<unsigned, QString>& table()
{
    static const QHash<unsigned, QString> strings = {
        // The document template string: the frame's title is its first part;
        // the others name the document type where a platform registers file
        // types (Windows), so the entry stays whole.
        {IDR_MAINFRAME, QStringLiteral("Varkel\n\nLumet\n\n\nVarkel.Document\nLumet Document")},
        {IDS_CONNECT_FAILED, QStringLiteral("Failed to connect to server\nTry again?")},
        {AFX_IDS_APP_TITLE, QStringLiteral("Varkel")},
        {AFX_IDS_IDLEMESSAGE, QStringLiteral("For Help, press F1")},
        {AFX_IDS_HELPMODEMESSAGE, QStringLiteral("Select an object on which to get Help")},
        {ID_INDICATOR_CAPS, QStringLiteral("CAP")},
        {ID_INDICATOR_NUM, QStringLiteral("NUM")},
        {ID_INDICATOR_SCRL, QStringLiteral("SCRL")},

        {ID_APP_ABOUT, QStringLiteral("Display program information, version number and copyright\nAbout")},
        {ID_CONNECT, QStringLiteral("Establish connection to Sondrel\nConnect")},
        {ID_TRANSMISSION, QStringLiteral("Activate Transmission\nTransmit")},
        {ID_ABORT_TRANSMISSION, QStringLiteral("Abort Transmission\nAbort")},
        {ID_SEND_TEXTFILE, QStringLiteral("Send File\nSend File")},
        {ID_RECORD_QSO, QStringLiteral("Record QSO\nRecord")},
        {ID_SETUP, QStringLiteral("Change host, port and function key macros\nSetup")},
        {ID_CLEAR_WINDOWS, QStringLiteral("Clear Send and Transmit Window\nClear Windows")},
        {ID_TOOLBAR_IE4_STYLE, QStringLiteral("Display Toolbar in IE4 style")},
        {ID_APP_EXIT, QStringLiteral("Quit the application; prompts to save documents\nExit")},
        {ID_VIEW_TOOLBAR, QStringLiteral("Show or hide the toolbar\nToggle ToolBar")},
        {ID_VIEW_STATUS_BAR, QStringLiteral("Show or hide the status bar\nToggle StatusBar")},
        {ID_HELP_FINDER, QStringLiteral("List Help topics\nHelp Topics")},
        {ID_HELP, QStringLiteral("Display help for current task or command\nHelp")},
        {ID_CONTEXT_HELP, QStringLiteral("Display help for clicked on buttons, menus and windows\nHelp")},
        {ID_FILE_NEW, QStringLiteral("Create a new document\nNew")},
        {ID_FILE_OPEN, QStringLiteral("Open an existing document\nOpen")},
        {ID_FILE_SAVE, QStringLiteral("Save the active document\nSave")},
        {ID_EDIT_COPY, QStringLiteral("Copy the selection and put it on the Clipboard\nCopy")},
        {ID_EDIT_CUT, QStringLiteral("Cut the selection and put it on the Clipboard\nCut")},
        {ID_EDIT_PASTE, QStringLiteral("Insert Clipboard contents\nPaste")},
        {ID_EDIT_UNDO, QStringLiteral("Undo the last action\nUndo")},
        {ID_NEXT_PANE, QStringLiteral("Switch to the next window pane\nNext Pane")},
        {ID_PREV_PANE, QStringLiteral("Switch back to the previous window pane\nPrevious Pane")},
    };
    return strings;
}

} // namespace

QString LoadString(unsigned id)
{
    return table().value(id);
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

#pragma once
// The terminal program: reads the command line, makes the session document
// and the main window, connects before the window shows, and at exit stores
// the window's placement before the session is closed.

#include "version.h"

#include <QObject>
#include <QStringList>

#include <memory>

class CMainFrame;
class CVarkelDoc;

namespace fw {
class Prompter;
class WidgetPrompter;
}

class CVarkelApp : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kVersion = VARKEL_VERSION;
    // The pause after closing each link when a signal ends the program.
    static constexpr int kSignalCloseWaitMs = 100;

    // `prompter` answers the program's questions; null: real message boxes.
    explicit CVarkelApp(fw::Prompter* prompter = nullptr, QObject* parent = nullptr);
    // Closes the window (placement stored), then the session.
    ~CVarkelApp() override;

    // Prints usage (--help) or the version (--version) and ends the program
    // when asked for either. Runs before the window system is opened, so it
    // answers without a display.
    static void AnswerInfoOptions(int& argc, char** argv);

    // Takes the command line (program name first), builds the document and
    // the window, then either opens the named file or connects, and shows the
    // window. False when the program is to end; ExitCode() then says how.
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return m_bExitRequested ? 0 : 1; }

    // Leaves as File Exit does, from wherever the program is: a signal, a
    // question still open at start-up, a dialog.
    void RequestExit();

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CVarkelDoc* Document() const { return m_doc.get(); }

private:
    std::unique_ptr<fw::WidgetPrompter> m_ownPrompter;
    fw::Prompter* m_prompter;
    std::unique_ptr<CVarkelDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    bool m_bShown = false;
    bool m_bExitRequested = false;
};

#pragma once
// A private X display for driving the real programs with real input: an Xvfb
// server on a free display number, and the xdotool, xclip and xwininfo calls
// that the end-to-end tests and the benchmarks need. Every call has a
// deadline and says what it was waiting for when it gives up.
//
// The helpers keep the calling thread's event loop running while they wait,
// so a server living in the same process (WireServer) keeps accepting,
// reading and writing while a key is being pressed.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

namespace e2e {

// Runs the event loop until `pred` holds or `timeoutMs` passes; true when it held.
template <typename Pred>
bool SpinUntil(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (pred())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::usleep(500);
    }
}

// Runs the event loop for `ms` milliseconds.
void Settle(int ms);

struct ToolResult {
    bool started = false;
    bool finished = false;  // false: killed at the deadline
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool Ok() const { return started && finished && exitCode == 0; }
    // "xdotool key F6: exit 1: <stderr>" and the like, for failure messages.
    QString Describe(const QString& what) const;
};

// Runs a helper program to its end (or kills it at the deadline) while the
// event loop keeps running.
ToolResult RunTool(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env, int timeoutMs = 10000,
                   const QByteArray& input = {});

// The programs of `tools` that are not found on PATH.
QStringList MissingTools(const QStringList& tools);

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool valid = false;
    bool operator==(const Geometry& o) const
    {
        return valid == o.valid && x == o.x && y == o.y && width == o.width && height == o.height;
    }
    QString ToString() const;
};

class XSession {
public:
    XSession() = default;
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Starts Xvfb on the first free display from :150 upwards and waits until
    // it takes clients.
    bool Start(QString* error);
    void Stop();
    bool IsRunning() const;
    QString Display() const { return m_display; }
    // The system environment pointed at this display; children add their own.
    QProcessEnvironment Environment() const;

    ToolResult Xdotool(const QStringList& args, int timeoutMs = 10000) const;

    // Mapped windows whose whole name is `title`.
    QStringList FindWindows(const QString& title) const;
    // Waits until a mapped window named `title` exists; returns its id, or an
    // empty string with `why` filled in.
    QString WaitForWindow(const QString& title, int timeoutMs, QString* why = nullptr) const;
    // Waits until no mapped window is named `title`.
    bool WaitForNoWindow(const QString& title, int timeoutMs, QString* why = nullptr) const;
    // Every mapped window of the display, named or not.
    QStringList MappedWindows() const;
    // The names of the mapped windows, quoted, for failure messages.
    QString DescribeWindows() const;
    // Waits until a mapped window appears that is not in `before`; returns it.
    QString WaitForNewWindow(const QStringList& before, int timeoutMs, QString* why = nullptr) const;
    QString WindowName(const QString& window) const;
    // Position on the screen and size of the window's own area, from xwininfo.
    Geometry WindowGeometry(const QString& window) const;
    bool WaitForGeometry(const QString& window, const Geometry& wanted, int timeoutMs,
                         QString* why = nullptr) const;
    // There is no window manager, so the window is moved and sized directly.
    bool MoveResize(const QString& window, const Geometry& to, QString* why = nullptr) const;

    // Gives `window` the keyboard focus and waits until the server says it has it.
    bool Focus(const QString& window, QString* why = nullptr) const;
    // xdotool key: real key events (XTEST) to the window that has the focus.
    bool Key(const QStringList& keys, QString* why = nullptr) const;
    bool Type(const QString& text, QString* why = nullptr, int delayMs = 15) const;
    // Opens a menu of the menu bar with Alt+`menuLetter` and picks the item
    // with mnemonic `itemLetter`, waiting for the menu to show in between.
    bool MenuCommand(const QString& mainWindow, const QString& menuLetter,
                     const QString& itemLetter, QString* why = nullptr) const;

    // The clipboard, served by xclip until someone else takes it.
    bool SetClipboard(const QByteArray& text, QString* why = nullptr) const;
    QByteArray Clipboard() const;

private:
    QProcess* m_xvfb = nullptr;
    QString m_display;
};

} // namespace e2e

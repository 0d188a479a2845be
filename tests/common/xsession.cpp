#include "xsession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace e2e {

namespace {

constexpr int kFirstDisplay = 150;
constexpr int kLastDisplay = 299;

void Fill(QString* why, const QString& text)
{
    if (why)
        *why = text;
}

// xdotool takes POSIX extended expressions; only their special characters
// are escaped, since a backslash before an ordinary one is undefined there.
QString EscapeExtended(const QString& text)
{
    static const QString special = QStringLiteral(".[]{}()\\*+?^$|");
    QString out;
    for (const QChar c : text) {
        if (special.contains(c))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QStringList Lines(const QByteArray& bytes)
{
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n')) {
        const QString trimmed = QString::fromLocal8Bit(line).trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

} // namespace

void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    SpinUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

QString ToolResult::Describe(const QString& what) const
{
    if (!started)
        return QStringLiteral("%1: could not be started").arg(what);
    if (!finished)
        return QStringLiteral("%1: did not finish in time and was killed").arg(what);
    QString text = QStringLiteral("%1: exit code %2").arg(what).arg(exitCode);
    const QByteArray detail = err.trimmed();
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + QString::fromLocal8Bit(detail);
    return text;
}

ToolResult RunTool(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env, int timeoutMs, const QByteArray& input)
{
    ToolResult result;
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return result;
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    result.finished = SpinUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QStringList MissingTools(const QStringList& tools)
{
    QStringList missing;
    for (const QString& tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    }
    return missing;
}

QString Geometry::ToString() const
{
    if (!valid)
        return QStringLiteral("(unknown)");
    return QStringLiteral("%1x%2 at (%3, %4)").arg(width).arg(height).arg(x).arg(y);
}

XSession::~XSession()
{
    Stop();
}

bool XSession::Start(QString* error)
{
    Stop();
    QStringList tried;
    for (int number = kFirstDisplay; number <= kLastDisplay; ++number) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        const QString lock = QStringLiteral("/tmp/.X%1-lock").arg(number);
        if (QFileInfo::exists(socket) || QFileInfo::exists(lock))
            continue;
        const QString display = QStringLiteral(":%1").arg(number);
        auto* xvfb = new QProcess;
        xvfb->setProcessChannelMode(QProcess::MergedChannels);
        // -noreset keeps the server (and the clipboard) alive between programs.
        xvfb->start(QStringLiteral("Xvfb"),
                    {display, QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!xvfb->waitForStarted(5000)) {
            delete xvfb;
            Fill(error, QStringLiteral("Xvfb could not be started"));
            return false;
        }
        m_xvfb = xvfb;
        m_display = display;
        // Another session may have taken the number in the meantime; then
        // this server ends at once and the next number is tried.
        const bool up = SpinUntil(
            [&] {
                if (xvfb->state() == QProcess::NotRunning)
                    return true;
                if (!QFileInfo::exists(socket))
                    return false;
                return RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-root")},
                               Environment(), 3000)
                    .Ok();
            },
            15000);
        if (up && xvfb->state() != QProcess::NotRunning) {
            // The pointer rests in a far corner, where no window of a test
            // lies, so no tooltip opens and no hover changes what a key does.
            Xdotool({QStringLiteral("mousemove"), QStringLiteral("1279"), QStringLiteral("1023")});
            return true;
        }
        tried << QStringLiteral("%1 (%2)").arg(
            display, up ? QString::fromLocal8Bit(xvfb->readAll().trimmed().right(200))
                        : QStringLiteral("no answer within 15 s"));
        Stop();
    }
    Fill(error, QStringLiteral("no X display could be started; tried: %1").arg(tried.join(QStringLiteral("; "))));
    return false;
}

void XSession::Stop()
{
    if (!m_xvfb)
        return;
    if (m_xvfb->state() != QProcess::NotRunning) {
        m_xvfb->terminate();
        if (!m_xvfb->waitForFinished(5000)) {
            m_xvfb->kill();
            m_xvfb->waitForFinished(2000);
        }
    }
    delete m_xvfb;
    m_xvfb = nullptr;
    m_display.clear();
}

bool XSession::IsRunning() const
{
    return m_xvfb && m_xvfb->state() == QProcess::Running;
}

QProcessEnvironment XSession::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    return env;
}

ToolResult XSession::Xdotool(const QStringList& args, int timeoutMs) const
{
    return RunTool(QStringLiteral("xdotool"), args, Environment(), timeoutMs);
}

QStringList XSession::FindWindows(const QString& title) const
{
    // The search ignores case and matches parts of names, so every hit is
    // checked against the exact title.
    const ToolResult found = Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--name"),
                                      QLatin1Char('^') + EscapeExtended(title) + QLatin1Char('$')});
    QStringList windows;
    if (!found.finished)
        return windows;
    for (const QString& window : Lines(found.out)) {
        if (WindowName(window) == title)
            windows << window;
    }
    return windows;
}

QString XSession::WaitForWindow(const QString& title, int timeoutMs, QString* why) const
{
    QString window;
    const bool found = SpinUntil(
        [&] {
            const QStringList windows = FindWindows(title);
            if (windows.isEmpty())
                return false;
            window = windows.first();
            return true;
        },
        timeoutMs);
    if (found)
        return window;
    Fill(why, QStringLiteral("no window titled \"%1\" appeared within %2 ms; windows shown: %3")
                  .arg(title)
                  .arg(timeoutMs)
                  .arg(DescribeWindows()));
    return {};
}

QString XSession::DescribeWindows() const
{
    QStringList names;
    for (const QString& window : MappedWindows()) {
        const QString name = WindowName(window);
        if (!name.isEmpty())
            names << QLatin1Char('"') + name + QLatin1Char('"');
    }
    return names.isEmpty() ? QStringLiteral("none with a name") : names.join(QStringLiteral(", "));
}

bool XSession::WaitForNoWindow(const QString& title, int timeoutMs, QString* why) const
{
    if (SpinUntil([&] { return FindWindows(title).isEmpty(); }, timeoutMs))
        return true;
    Fill(why, QStringLiteral("a window titled \"%1\" was still shown after %2 ms").arg(title).arg(timeoutMs));
    return false;
}

QStringList XSession::MappedWindows() const
{
    // Menus and other popups carry no name, so the whole tree is listed.
    const ToolResult found = Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--name"), QStringLiteral(".*")});
    const ToolResult unnamed = Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--class"), QStringLiteral(".*")});
    QStringList windows = Lines(found.out);
    for (const QString& window : Lines(unnamed.out)) {
        if (!windows.contains(window))
            windows << window;
    }
    return windows;
}

QString XSession::WaitForNewWindow(const QStringList& before, int timeoutMs, QString* why) const
{
    QString fresh;
    const bool found = SpinUntil(
        [&] {
            for (const QString& window : MappedWindows()) {
                if (!before.contains(window)) {
                    fresh = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (found)
        return fresh;
    Fill(why, QStringLiteral("no new window was shown within %1 ms").arg(timeoutMs));
    return {};
}

QString XSession::WindowName(const QString& window) const
{
    const ToolResult name = Xdotool({QStringLiteral("getwindowname"), window});
    if (!name.Ok())
        return {};
    QByteArray text = name.out;
    if (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}

Geometry XSession::WindowGeometry(const QString& window) const
{
    Geometry geometry;
    const ToolResult info = RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window},
                                    Environment(), 5000);
    if (!info.Ok())
        return geometry;
    static const QRegularExpression field(
        QStringLiteral(R"(^\s*(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s*(-?\d+))"),
        QRegularExpression::MultilineOption);
    int seen = 0;
    auto it = field.globalMatch(QString::fromLocal8Bit(info.out));
    while (it.hasNext()) {
        const auto match = it.next();
        const QString key = match.captured(1);
        const int value = match.captured(2).toInt();
        if (key.endsWith(QLatin1Char('X')))
            geometry.x = value;
        else if (key.endsWith(QLatin1Char('Y')))
            geometry.y = value;
        else if (key == QLatin1String("Width"))
            geometry.width = value;
        else
            geometry.height = value;
        ++seen;
    }
    geometry.valid = seen == 4;
    return geometry;
}

bool XSession::WaitForGeometry(const QString& window, const Geometry& wanted, int timeoutMs,
                               QString* why) const
{
    Geometry last;
    if (SpinUntil([&] { return (last = WindowGeometry(window)) == wanted; }, timeoutMs))
        return true;
    Fill(why, QStringLiteral("window %1 was %2, not %3, after %4 ms")
                  .arg(window, last.ToString(), wanted.ToString())
                  .arg(timeoutMs));
    return false;
}

bool XSession::MoveResize(const QString& window, const Geometry& to, QString* why) const
{
    const ToolResult moved = Xdotool({QStringLiteral("windowmove"), window,
                                      QString::number(to.x), QString::number(to.y)});
    if (!moved.Ok()) {
        Fill(why, moved.Describe(QStringLiteral("xdotool windowmove")));
        return false;
    }
    const ToolResult sized = Xdotool({QStringLiteral("windowsize"), window,
                                      QString::number(to.width), QString::number(to.height)});
    if (!sized.Ok()) {
        Fill(why, sized.Describe(QStringLiteral("xdotool windowsize")));
        return false;
    }
    return WaitForGeometry(window, to, 5000, why);
}

bool XSession::Focus(const QString& window, QString* why) const
{
    const ToolResult focused =
        Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}, 5000);
    if (!focused.Ok()) {
        Fill(why, focused.Describe(QStringLiteral("xdotool windowfocus --sync %1").arg(window)));
        return false;
    }
    // Qt makes the window active when the focus event comes in; a key sent
    // before it has seen that event could land nowhere.
    Settle(50);
    return true;
}

bool XSession::Key(const QStringList& keys, QString* why) const
{
    const ToolResult pressed =
        Xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + keys);
    if (pressed.Ok())
        return true;
    Fill(why, pressed.Describe(QStringLiteral("xdotool key %1").arg(keys.join(QLatin1Char(' ')))));
    return false;
}

bool XSession::Type(const QString& text, QString* why, int delayMs) const
{
    const ToolResult typed = Xdotool({QStringLiteral("type"), QStringLiteral("--delay"),
                                      QString::number(delayMs), QStringLiteral("--"), text},
                                     10000 + 50 * int(text.size()) * (delayMs + 10));
    if (typed.Ok())
        return true;
    Fill(why, typed.Describe(QStringLiteral("xdotool type \"%1\"").arg(text)));
    return false;
}

bool XSession::MenuCommand(const QString& mainWindow, const QString& menuLetter,
                           const QString& itemLetter, QString* why) const
{
    if (!Focus(mainWindow, why))
        return false;
    const QStringList before = MappedWindows();
    if (!Key({QStringLiteral("alt+") + menuLetter}, why))
        return false;
    QString detail;
    const QString menu = WaitForNewWindow(before, 5000, &detail);
    if (menu.isEmpty()) {
        Fill(why, QStringLiteral("Alt+%1 opened no menu: %2").arg(menuLetter.toUpper(), detail));
        return false;
    }
    if (!Key({itemLetter}, why))
        return false;
    if (SpinUntil([&] { return !MappedWindows().contains(menu); }, 5000))
        return true;
    Fill(why, QStringLiteral("the menu opened by Alt+%1 stayed open after %2 was pressed")
                  .arg(menuLetter.toUpper(), itemLetter));
    return false;
}

bool XSession::SetClipboard(const QByteArray& text, QString* why) const
{
    // xclip stays behind to serve the selection; its output goes nowhere so
    // that it holds none of our pipes open.
    QProcess xclip;
    xclip.setProcessEnvironment(Environment());
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                          QStringLiteral("-i")});
    if (!xclip.waitForStarted(5000)) {
        Fill(why, QStringLiteral("xclip could not be started"));
        return false;
    }
    xclip.write(text);
    xclip.closeWriteChannel();
    if (!SpinUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        xclip.kill();
        xclip.waitForFinished(2000);
        Fill(why, QStringLiteral("xclip did not hand the text over within 10 s"));
        return false;
    }
    QByteArray now;
    if (SpinUntil([&] { return (now = Clipboard()) == text; }, 5000))
        return true;
    Fill(why, QStringLiteral("the clipboard held \"%1\" instead of \"%2\"")
                  .arg(QString::fromLocal8Bit(now.toPercentEncoding(" ")),
                       QString::fromLocal8Bit(text.toPercentEncoding(" "))));
    return false;
}

QByteArray XSession::Clipboard() const
{
    const ToolResult out = RunTool(QStringLiteral("xclip"),
                                   {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                    QStringLiteral("-o")},
                                   Environment(), 5000);
    return out.Ok() ? out.out : QByteArray();
}

} // namespace e2e

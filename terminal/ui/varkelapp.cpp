#include "varkelapp.h"

#include "artwork.h"
#include "cleanexit.h"
#include "lastword.h"
#include "mainframe.h"
#include "stringtable.h"
#include "varkeldoc.h"
#include "widgetprompter.h"
#include "writeerrors.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

void describeOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("PSK31 keyboard-to-keyboard terminal"));
    // "-foo" is one switch, as the shell's command line has it, not -f -o -o.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A document to open instead of connecting."),
                                 QStringLiteral("[file]"));
}

void nameProgram()
{
    QCoreApplication::setApplicationName(AppName());
    QCoreApplication::setApplicationVersion(QString::fromLatin1(CVarkelApp::kVersion));
}

} // namespace

void CVarkelApp::AnswerInfoOptions(int& argc, char** argv)
{
    nameProgram();
    const QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    describeOptions(parser);
    // The window system's own options are unknown here; InitInstance, after
    // the toolkit has taken them out, reports anything else.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
}

CVarkelApp::CVarkelApp(fw::Prompter* prompter, QObject* parent)
    : QObject(parent),
      m_ownPrompter(prompter ? nullptr : std::make_unique<fw::WidgetPrompter>(AppName())),
      m_prompter(prompter ? prompter : m_ownPrompter.get())
{
    setObjectName(QStringLiteral("varkelApp"));
    nameProgram();
    QGuiApplication::setWindowIcon(ProgramIcon());
}

CVarkelApp::~CVarkelApp()
{
    // The window first, so its placement is kept whatever the session does;
    // then the session, which unkeys the transmitter before it hangs up.
    m_frame.reset();
    if (m_doc)
        m_doc->CloseSession();
    fw::SetLastWordAtExit({});
    m_doc.reset();
}

bool CVarkelApp::InitInstance(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    describeOptions(parser);
    // The shell's command line: a switch the program does not know is ignored.
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        for (const QString& name : unknown)
            std::fprintf(stderr, "%s: ignoring unknown option '%s'\n", qPrintable(AppName().toLower()),
                         qPrintable(name));
    }
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.isSet(help))
        parser.showHelp();

    m_doc = std::make_unique<CVarkelDoc>(*m_prompter);
    connect(m_doc.get(), &CVarkelDoc::connectFailed, this, [](const QString& description) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(AppName().toLower()),
                     qUtf8Printable(description));
    });
    // The toolkit calls exit() when its display connection breaks (the X
    // server ends, a forwarded display drops): no destructor runs then, and
    // a keyed transmitter must still be unkeyed.
    fw::SetLastWordAtExit([doc = m_doc.get()] { doc->UnkeyAtOnce(); });
    m_frame = std::make_unique<CMainFrame>(*m_doc);
    if (!m_frame->Create())
        return false;
    if (m_ownPrompter)
        m_ownPrompter->SetOwner(m_frame.get());
    fw::InstallCleanExit(this, [this] {
        // A signal wants the program gone within a second: the unkey goes
        // first as always, and the links get only a short pause each.
        m_doc->SetCloseWaitMs(kSignalCloseWaitMs);
        RequestExit();
    });
    // A full disk, a file size limit or a closed output pipe must never end
    // the program behind the operator's back (and leave a transmitter keyed).
    fw::IgnoreWriteErrorSignals();

    // The session is set up while the window is still hidden, so the
    // connection questions come before it.
    const QStringList files = parser.positionalArguments();
    const bool ready = files.isEmpty() ? m_doc->OnNewDocument() : m_doc->OnOpenDocument(files.first());
    if (!ready || m_bExitRequested)
        return false;

    m_frame->show();
    m_bShown = true;
    return true;
}

void CVarkelApp::RequestExit()
{
    m_bExitRequested = true;
    if (m_frame)
        m_frame->close();
    // Before the window shows, or while a question or dialog runs its own
    // loop, closing the window alone would not end the program.
    if (!m_bShown || QApplication::activeModalWidget())
        QCoreApplication::exit(0);
}

// Pelorin: edits the PSK31 driver's PTT port, centre frequency and Reverse
// Output Channel setting in one dialog, then ends.

#include "commandline.h"
#include "pelorinapp.h"
#include "pelorinresources.h"
#include "pelorintexts.h"
#include "widgetprompter.h"

#include <QApplication>
#include <cstdio>

namespace {
// Usage and version need no display, so they are answered before any window
// system is touched.
bool printInformation(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString text;
    switch (pelorin::FindCommandLineAction(arguments)) {
    case pelorin::CommandLineAction::Run: return false;
    case pelorin::CommandLineAction::ShowUsage: text = pelorin::texts::UsageText(); break;
    case pelorin::CommandLineAction::ShowVersion: text = pelorin::texts::VersionText(); break;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (printInformation(argc, argv))
        return 0;

    QApplication application(argc, argv);
    QApplication::setApplicationName(pelorin::texts::kCaption);
    QApplication::setApplicationVersion(pelorin::texts::kVersion);
    QApplication::setWindowIcon(pelorin::ProgramIcon());

    fw::WidgetPrompter prompter(pelorin::texts::kCaption);
    CPelorinApp app(QApplication::arguments().mid(1), prompter);
    return app.Run();
}

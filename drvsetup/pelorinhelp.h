#pragma once
// The built-in help: one page about the three driver values, with a help
// context per value so that F1 opens the part about the focused control.

class QWidget;
namespace fw {
class HelpWindow;
}

namespace pelorin::help {

// Context numbers are the dialog's control ids of the value they explain.
constexpr int kFrequency = 1000;
constexpr int kPtt = 1001;
constexpr int kReverseOutputChannel = 1006;

fw::HelpWindow* CreateHelp(QWidget* parent);

} // namespace pelorin::help

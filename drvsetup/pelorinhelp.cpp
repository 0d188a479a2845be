#include "pelorinhelp.h"

#include "helpwindow.h"
#include "pelorintexts.h"

namespace pelorin::help {

fw::HelpWindow* CreateHelp(QWidget* parent)
{
    const QString page = QStringLiteral("qrc:/pelorin/help/pelorin.html");
    return new fw::HelpWindow(texts::HelpTitle(), page,
                              {{kFrequency, page + QStringLiteral("#frequency")},
                               {kPtt, page + QStringLiteral("#ptt")},
                               {kReverseOutputChannel, page + QStringLiteral("#reverse")}},
                              parent);
}

} // namespace pelorin::help

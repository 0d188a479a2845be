#include "varkelhelp.h"

#include "helpwindow.h"
#include "resource.h"

// Resources compiled into a static library are only linked in when named.
static void InitHelpResources()
{
    Q_INIT_RESOURCE(help);
}

QString VarkelHelpContents()
{
    return QStringLiteral("qrc:/help/index.html");
}

QMap<int, QString> VarkelHelpContexts()
{
    return {{HIDD_SETUP, QStringLiteral("qrc:/help/setup.html")}};
}

fw::HelpWindow* CreateVarkelHelp(QWidget* parent)
{
    static const bool resourcesReady = (InitHelpResources(), true);
    Q_UNUSED(resourcesReady);
    return new fw::HelpWindow(QStringLiteral("Varkel Help"), VarkelHelpContents(),
                              VarkelHelpContexts(), parent);
}

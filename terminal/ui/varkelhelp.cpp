#include "varkelhelp.h"

#include "helpwindow.h"
#include "resource.h"

#include <QCoreApplication>

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
    return new fw::HelpWindow(QCoreApplication::translate("Varkel", "Varkel Help"), VarkelHelpContents(),
                              VarkelHelpContexts(), parent);
}

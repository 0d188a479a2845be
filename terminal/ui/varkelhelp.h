#pragma once
// The terminal's built-in help: its pages, compiled into the program, and the
// map from help context numbers to pages.

#include <QMap>
#include <QString>

namespace fw {
class HelpWindow;
}
class QWidget;

// The page shown for Help Topics and for any context without a page of its own.
QString VarkelHelpContents();
// Help context number -> page, as the help window resolves them.
QMap<int, QString> VarkelHelpContexts();

fw::HelpWindow* CreateVarkelHelp(QWidget* parent = nullptr);

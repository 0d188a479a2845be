#pragma once
// The terminal's string table. A command's string holds its status-bar prompt,
// a line feed, then its tooltip.

#include <QString>

// The string with the given id; empty when the table has none.
QString LoadString(unsigned id);

// The prompt (before the line feed) and tooltip (after it) of a command string.
QString CommandPrompt(unsigned id);
QString CommandTooltip(unsigned id);

// The program's name: caption of message boxes and the settings store's application.
inline QString AppName()
{
    return QStringLiteral("Varkel");
}

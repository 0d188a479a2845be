#pragma once
// How the panes read a key press: which keys belong to the main window's
// commands, and which bytes a key types. The byte rules are those of a
// terminal keyboard: Enter is a bare carriage return, Ctrl with a letter is
// that letter's control code, and text outside the 8-bit code page does not
// exist on the wire.

#include <QByteArray>

class QKeyEvent;

namespace panekeys {

// The main window's accelerators (copy, paste, file commands, F-keys, pane
// switching). A pane must leave these to the window's shortcuts.
bool IsCommandKey(const QKeyEvent& event);

enum class EditCommand { None, Copy, Cut, Paste, Undo };
// The local edit operation an accelerator stands for, so that a pane outside
// the main window still offers it.
EditCommand EditCommandOf(const QKeyEvent& event);

// The bytes a key press types, in order; empty for keys that type nothing
// (navigation, commands, characters with no byte in the code page).
QByteArray TypedBytes(const QKeyEvent& event);

// True when the key types characters at all, even ones the code page lacks:
// such a key must not fall through to the editor's own bindings.
bool TypesCharacters(const QKeyEvent& event);

} // namespace panekeys

#include "panekeys.h"

#include "codepage.h"

#include <QKeyEvent>

namespace panekeys {

namespace {

constexpr Qt::KeyboardModifiers kChordModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

Qt::KeyboardModifiers ChordOf(const QKeyEvent& event)
{
    return event.modifiers() & kChordModifiers;
}

struct Accelerator {
    Qt::KeyboardModifiers modifiers;
    int key;
    EditCommand edit;
};

// The main window's accelerator table, keys only.
constexpr Accelerator kAccelerators[] = {
    {Qt::ControlModifier, Qt::Key_C, EditCommand::Copy},
    {Qt::ControlModifier, Qt::Key_N, EditCommand::None},
    {Qt::ControlModifier, Qt::Key_O, EditCommand::None},
    {Qt::ControlModifier, Qt::Key_S, EditCommand::None},
    {Qt::ControlModifier, Qt::Key_V, EditCommand::Paste},
    {Qt::AltModifier, Qt::Key_Backspace, EditCommand::Undo},
    {Qt::ShiftModifier, Qt::Key_Delete, EditCommand::Cut},
    {Qt::NoModifier, Qt::Key_F1, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F10, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F11, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F12, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F5, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F6, EditCommand::None},
    {Qt::ShiftModifier, Qt::Key_F6, EditCommand::None},
    {Qt::NoModifier, Qt::Key_F9, EditCommand::None},
    {Qt::ControlModifier, Qt::Key_Insert, EditCommand::Copy},
    {Qt::ShiftModifier, Qt::Key_Insert, EditCommand::Paste},
    {Qt::ControlModifier, Qt::Key_X, EditCommand::Cut},
    {Qt::ControlModifier, Qt::Key_Z, EditCommand::Undo},
};

const Accelerator* FindAccelerator(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers chord = ChordOf(event);
    for (const Accelerator& acc : kAccelerators) {
        if (acc.key == event.key() && acc.modifiers == chord)
            return &acc;
    }
    return nullptr;
}

// Ctrl with a letter or one of the six punctuation keys of the ASCII control
// block; Ctrl+Space is a space.
std::optional<unsigned char> ControlCode(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<unsigned char>(key - Qt::Key_A + 1);
    switch (key) {
    case Qt::Key_At:
        return 0x00;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_BracketLeft:
        return 0x1B;
    case Qt::Key_Backslash:
        return 0x1C;
    case Qt::Key_BracketRight:
        return 0x1D;
    case Qt::Key_AsciiCircum:
        return 0x1E;
    case Qt::Key_Underscore:
        return 0x1F;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0A;
    case Qt::Key_Backspace:
        return 0x7F;
    default:
        return std::nullopt;
    }
}

std::optional<unsigned char> PlainKeyCode(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0x09;
    case Qt::Key_Escape:
        return 0x1B;
    default:
        return std::nullopt;
    }
}

// Printable characters of the key's text. Control characters in it (Delete
// reports 0x7F on some platforms) come from keys handled by their key code.
QString PrintableText(const QKeyEvent& event)
{
    QString text;
    for (QChar ch : event.text()) {
        if (ch.isPrint())
            text += ch;
    }
    return text;
}

// Ctrl without Alt makes control codes; Ctrl with Alt is how some systems
// report AltGr, which types ordinary characters.
bool IsControlChord(Qt::KeyboardModifiers chord)
{
    return (chord & Qt::ControlModifier) && !(chord & Qt::AltModifier);
}

} // namespace

bool IsCommandKey(const QKeyEvent& event)
{
    return FindAccelerator(event) != nullptr;
}

EditCommand EditCommandOf(const QKeyEvent& event)
{
    const Accelerator* acc = FindAccelerator(event);
    return acc ? acc->edit : EditCommand::None;
}

QByteArray TypedBytes(const QKeyEvent& event)
{
    if (IsCommandKey(event))
        return {};
    const Qt::KeyboardModifiers chord = ChordOf(event);
    if (chord & Qt::MetaModifier)
        return {};
    if (IsControlChord(chord)) {
        const auto code = ControlCode(event.key());
        return code ? QByteArray(1, char(*code)) : QByteArray();
    }
    if (chord & Qt::AltModifier && !(chord & Qt::ControlModifier))
        return {};   // Alt chords are menu mnemonics, not characters
    if (const auto code = PlainKeyCode(event.key()))
        return QByteArray(1, char(*code));
    return fw::codepage::FromUnicode(PrintableText(event));
}

bool TypesCharacters(const QKeyEvent& event)
{
    if (!TypedBytes(event).isEmpty())
        return true;
    const Qt::KeyboardModifiers chord = ChordOf(event);
    if (IsCommandKey(event) || (chord & Qt::MetaModifier) || IsControlChord(chord)
        || (chord & Qt::AltModifier && !(chord & Qt::ControlModifier)))
        return false;
    return !PrintableText(event).isEmpty();
}

} // namespace panekeys

#pragma once
// The seam between program logic and the questions it asks the user: message
// boxes and file prompts. Logic code talks only to this interface, so it never
// includes a widget header and tests can answer the questions in order.

#include <QString>
#include <optional>

namespace fw {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Warning, Stop, Question };
enum class MsgAnswer { Ok, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;

    virtual MsgAnswer MessageBox(const QString& text, MsgButtons buttons = MsgButtons::Ok,
                                 MsgIcon icon = MsgIcon::None) = 0;

    // File-open prompt with no filter and no default extension; nullopt when cancelled.
    virtual std::optional<QString> PromptOpenFile() = 0;
    // File-save prompt (asks before replacing a file); nullopt when cancelled.
    virtual std::optional<QString> PromptSaveFile() = 0;
};

} // namespace fw

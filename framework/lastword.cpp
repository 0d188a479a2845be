#include "lastword.h"

#include <QtGlobal>

#include <cstdlib>

namespace fw {

namespace {
std::function<void()>& lastWordAtExit()
{
    static std::function<void()> lastWord;
    return lastWord;
}

void runLastWord()
{
    if (auto& lastWord = lastWordAtExit())
        lastWord();
}
} // namespace

void SetLastWordAtExit(std::function<void()> lastWord)
{
    static const bool registered = std::atexit(runLastWord) == 0;
    Q_UNUSED(registered);
    lastWordAtExit() = std::move(lastWord);
}

} // namespace fw

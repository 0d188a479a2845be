#pragma once
// A last word at exit: something that must still happen when the process
// ends through exit() without coming back to its owner (the toolkit does so
// when its display connection breaks), such as unkeying a transmitter.

#include <functional>

namespace fw {

// Runs `lastWord` when the process ends through exit(). An empty function
// clears it; the owner must clear it before it goes.
void SetLastWordAtExit(std::function<void()> lastWord);

} // namespace fw

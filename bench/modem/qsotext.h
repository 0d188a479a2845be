// Varied amateur-radio QSO text, the same for a given seed: calls, names,
// reports, stations and weather in the mixed case and punctuation of real
// keyboard-to-keyboard contacts.
#pragma once

#include <cstdint>
#include <string>

std::string qsoText(size_t minimumLength, uint32_t seed);

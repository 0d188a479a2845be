#include "psk31/textmatch.h"

#include <algorithm>
#include <vector>

namespace psk31 {

size_t characterErrors(std::string_view sent, std::string_view decoded)
{
    // Rows over `sent`, columns over `decoded`; the match may start and end
    // anywhere in `decoded`.
    std::vector<size_t> previous(decoded.size() + 1, 0);
    std::vector<size_t> current(decoded.size() + 1);
    for (size_t i = 1; i <= sent.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= decoded.size(); ++j) {
            const size_t substitute = previous[j - 1] + (sent[i - 1] == decoded[j - 1] ? 0 : 1);
            current[j] = std::min({substitute, previous[j] + 1, current[j - 1] + 1});
        }
        std::swap(previous, current);
    }
    return *std::min_element(previous.begin(), previous.end());
}

} // namespace psk31

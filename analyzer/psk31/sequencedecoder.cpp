#include "psk31/sequencedecoder.h"

#include "psk31/varicode.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace psk31 {
namespace {

// Matched filtering of the cosine-shaped symbols leaves 1/6 of each symbol in
// its neighbours' samples; the path score takes it back out.
constexpr float kNeighbourShare = 1.0f / 6.0f;

// Log prior probabilities: ordinary text is far likelier than control codes
// and the upper half of the code page.
constexpr float kTextPrior = 0.0f;
constexpr float kOtherBytePrior = -4.0f;
constexpr float kIdlePrior = 0.0f;
constexpr float kCarrierPrior = -3.0f;
constexpr int kCarrierPiece = 12;

bool IsText(int byte)
{
    return (byte >= 32 && byte < 127) || byte == '\r' || byte == '\n';
}

} // namespace

SequenceDecoder::SequenceDecoder(int delay)
    : m_delay(std::max(0, delay))
    , m_z(kHistory, 0.0f)
    , m_steps(2 * kHistory)
{
    auto add = [this](int byte, const std::string& bits, float prior) {
        Word word{byte, {}, 0, prior};
        float sign = 1;
        for (char bit : bits) {
            if (bit == '0')
                sign = -sign;
            word.sign.push_back(sign);
            word.ones += bit == '1' ? 1.0f : -1.0f;
        }
        m_words.push_back(word);
    };
    for (int byte = 0; byte < 256; ++byte)
        add(byte, std::string(varicode::code(uint8_t(byte))) + "00", IsText(byte) ? kTextPrior : kOtherBytePrior);
    add(-1, "0", kIdlePrior);
    // A steady carrier is a run of ones longer than any character holds.
    for (int length = kCarrierPiece; length < 2 * kCarrierPiece; ++length)
        add(-2, std::string(size_t(length), '1'), kCarrierPrior);
}

void SequenceDecoder::reset()
{
    m_position = -1;
    m_decided = 0;
}

SequenceDecoder::Step& SequenceDecoder::At(long long position, int sign)
{
    return m_steps[size_t((position % kHistory) * 2 + (sign > 0 ? 1 : 0))];
}

void SequenceDecoder::push(float z, float amplitude, float noise, std::string* out)
{
    ++m_position;
    const long long n = m_position;
    m_z[size_t(n % kHistory)] = z;
    if (n == 0) {
        At(0, 1) = Step{};
        At(0, -1) = Step{};
        m_decided = 0;
        return;
    }
    const float neighbour = amplitude * kNeighbourShare;
    // Priors are log probabilities; scores are correlations, which are log
    // likelihoods times noise / amplitude.
    const float priorScale = amplitude > 0 ? noise / amplitude : 0.0f;
    Step best[2];
    best[0].score = best[1].score = -std::numeric_limits<double>::infinity();
    const long long oldest = std::max(0LL, n - kHistory + 1);
    // A path may end here with a whole word, or be part-way through one:
    // decisions start from the best of both, so no word is cut short.
    double partialScore = -std::numeric_limits<double>::infinity();
    long long partialStart = n;
    int partialSign = 1;
    for (size_t w = 0; w < m_words.size(); ++w) {
        const Word& word = m_words[w];
        const size_t length = word.sign.size();
        for (size_t used = length; used >= 1; --used) {
            const long long start = n - static_cast<long long>(used);
            if (start < oldest)
                continue;
            float correlation = 0;
            float ones = 0;
            for (size_t i = 0; i < used; ++i) {
                correlation += word.sign[i] * m_z[size_t((start + 1 + static_cast<long long>(i)) % kHistory)];
                ones += (i == 0 ? word.sign[0] : word.sign[i] * word.sign[i - 1]);
            }
            const float fixed = -neighbour * ones + priorScale * word.prior;
            for (int startSign : {-1, 1}) {
                const double score = At(start, startSign).score + startSign * correlation + fixed;
                if (used == length) {
                    const int end = startSign * word.sign.back() > 0 ? 1 : 0;
                    if (score > best[end].score)
                        best[end] = Step{score, int(w), int8_t(startSign)};
                } else if (score > partialScore) {
                    partialScore = score;
                    partialStart = start;
                    partialSign = startSign;
                }
            }
        }
    }
    At(n, -1) = best[0];
    At(n, 1) = best[1];
    if (m_decided < n - kHistory + 32) // lost track of old decisions: start afresh
        m_decided = n - kHistory + 32;
    const int endSign = best[1].score >= best[0].score ? 1 : -1;
    if (partialScore > best[endSign > 0 ? 1 : 0].score)
        Decide(partialStart, partialSign, n - m_delay, out);
    else
        Decide(n, endSign, n - m_delay, out);
}

void SequenceDecoder::flush(std::string* out)
{
    if (m_position > 0)
        Decide(m_position, At(m_position, 1).score >= At(m_position, -1).score ? 1 : -1, m_position, out);
}

void SequenceDecoder::Decide(long long from, int sign, long long upTo, std::string* out)
{
    // Trace the best path back to what is already decided.
    struct Piece {
        long long start, end;
        int word;
    };
    std::vector<Piece> pieces;
    long long position = from;
    while (position > m_decided) {
        const Step& step = At(position, sign);
        if (step.word < 0)
            break;
        const long long start = position - static_cast<long long>(m_words[size_t(step.word)].sign.size());
        pieces.push_back({start, position, step.word});
        sign = step.startSign;
        position = start;
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it->end > upTo)
            break;
        if (it->start >= m_decided && out && m_words[size_t(it->word)].byte >= 0)
            out->push_back(char(m_words[size_t(it->word)].byte));
        m_decided = it->end;
    }
}

} // namespace psk31

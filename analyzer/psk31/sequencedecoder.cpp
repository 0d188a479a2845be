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

constexpr int kNone = -3;
constexpr int kIdle = -1;
constexpr int kCarrier = -2;

SequenceDecoder::SequenceDecoder(int delay)
    : m_delay(std::max(0, delay))
    , m_steps(2 * kHistory)
{
    m_nodes.push_back(Node{-1, 0, 1, 1, kOtherBytePrior, kNone});
    m_children.push_back({-1, -1});
    for (int byte = 0; byte < 256; ++byte)
        Add(byte, std::string(varicode::code(uint8_t(byte))) + "00", IsText(byte) ? kTextPrior : kOtherBytePrior);
    Add(kIdle, "0", kIdlePrior);
    // A steady carrier is a run of ones longer than any character holds.
    for (int length = kCarrierPiece; length < 2 * kCarrierPiece; ++length)
        Add(kCarrier, std::string(size_t(length), '1'), kCarrierPrior);
    m_correlation.assign(m_nodes.size(), 0.0f);
    m_previous.assign(m_nodes.size(), 0.0f);
    m_signless.assign(m_nodes.size(), 0.0f);
    m_previousSignless.assign(m_nodes.size(), 0.0f);
    m_children.clear();
    m_children.shrink_to_fit();
}

void SequenceDecoder::Add(int word, const std::string& bits, float prior)
{
    int node = 0;
    for (char bit : bits) {
        const Node& here = m_nodes[size_t(node)];
        const float sign = bit == '0' ? -here.sign : here.sign;
        const size_t side = sign > 0 ? 1 : 0;
        int child = m_children[size_t(node)][side];
        if (child < 0) {
            m_nodes.push_back(Node{node, here.depth + 1, sign, bit == '1' ? 1.0f : -1.0f, prior, kNone});
            m_children.push_back({-1, -1});
            child = int(m_nodes.size() - 1);
            m_children[size_t(node)][side] = child;
        }
        m_nodes[size_t(child)].prior = std::max(m_nodes[size_t(child)].prior, prior);
        node = child;
    }
    m_nodes[size_t(node)].word = word;
}

SequenceDecoder::Step& SequenceDecoder::At(long long position, int sign)
{
    return m_steps[size_t((position % kHistory) * 2 + (sign > 0 ? 1 : 0))];
}

void SequenceDecoder::push(float z, float amplitude, float noise, std::string* out, float differential, float weight)
{
    ++m_position;
    const long long n = m_position;
    if (n == 0) {
        At(0, 1) = Step{};
        At(0, -1) = Step{};
        m_decided = 0;
        return;
    }
    const float coherent = 1 - weight;
    // What a bit adds regardless of the path's sign: its product with the
    // symbol before, less the share of its neighbours in it (which is in the
    // in-phase component only), both by whether the bit is a reversal.
    const float signless = weight * differential - coherent * amplitude * kNeighbourShare;
    // Priors are log probabilities; scores are correlations, which are log
    // likelihoods times noise / amplitude.
    const float priorScale = amplitude > 0 ? noise / amplitude : 0.0f;
    // Each node's correlation grows from its parent's of one symbol ago, so
    // every word is matched against the newest symbols in one pass.
    std::swap(m_correlation, m_previous);
    std::swap(m_signless, m_previousSignless);
    m_correlation[0] = 0;
    m_signless[0] = 0;
    Step best[2];
    best[0].score = best[1].score = -std::numeric_limits<double>::infinity();
    // A path may end here with a whole word, or be part-way through one:
    // decisions start from the best of both, so no word is cut short.
    double partialScore = -std::numeric_limits<double>::infinity();
    long long partialStart = n;
    int partialSign = 1;
    for (size_t i = 1; i < m_nodes.size(); ++i) {
        const Node& node = m_nodes[i];
        const float correlation = m_previous[size_t(node.parent)] + coherent * node.sign * z;
        m_correlation[i] = correlation;
        // Taken at each bit's own level, not the word's last: a word through
        // a fade would otherwise lose far more than its neighbours gave it,
        // or far less.
        const float bits = m_previousSignless[size_t(node.parent)] + node.step * signless;
        m_signless[i] = bits;
        const long long start = n - node.depth;
        if (start < 0)
            continue;
        const float fixed = bits + priorScale * node.prior;
        for (int startSign : {-1, 1}) {
            const double score = At(start, startSign).score + startSign * correlation + fixed;
            if (node.word != kNone) {
                const int end = startSign * node.sign > 0 ? 1 : 0;
                if (score > best[end].score)
                    best[end] = Step{score, int(i), int8_t(startSign)};
            }
            if (score > partialScore) {
                partialScore = score;
                partialStart = start;
                partialSign = startSign;
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

void SequenceDecoder::reset()
{
    m_position = -1;
    m_decided = 0;
    std::fill(m_correlation.begin(), m_correlation.end(), 0.0f);
    std::fill(m_previous.begin(), m_previous.end(), 0.0f);
    std::fill(m_signless.begin(), m_signless.end(), 0.0f);
    std::fill(m_previousSignless.begin(), m_previousSignless.end(), 0.0f);
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
        if (step.node < 0)
            break;
        const long long start = position - m_nodes[size_t(step.node)].depth;
        pieces.push_back({start, position, m_nodes[size_t(step.node)].word});
        sign = step.startSign;
        position = start;
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it->end > upTo)
            break;
        if (it->start >= m_decided && out && it->word >= 0)
            out->push_back(char(it->word));
        m_decided = it->end;
    }
}

} // namespace psk31

// Decides the most likely text behind a stream of soft BPSK31 symbols: a
// dynamic programme over the symbol stream whose steps are whole varicode
// words with their two separating zeros (or one idle reversal, or a run of
// unmodulated carrier). A word is chosen only if every one of its bits fits,
// so a single wrong bit cannot split a character in two or merge two.
// The symbols' absolute sign is never needed: each path carries its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace psk31 {

class SequenceDecoder {
public:
    // `delay`: symbols seen past a character's last bit before it is decided.
    explicit SequenceDecoder(int delay);

    // One symbol's in-phase component after carrier-phase correction, with its
    // scale: `amplitude` is the magnitude of a clean symbol at this moment
    // (it changes in fades), `noise` the variance of the noise on it. Decided
    // bytes are appended to `out` when it is given, and dropped when it is
    // null.
    // `differential` is the real part of the symbol's product with the
    // conjugate of the one before, over the signal's usual amplitude: > 0
    // for a bit without a reversal, whatever the carrier's phase. It counts
    // for `weight` (0 to 1) of the symbol, `z` for the rest: where the phase
    // turns too fast for a carrier loop (quick fading), the symbol before is
    // the better phase reference.
    void push(float z, float amplitude, float noise, std::string* out, float differential = 0, float weight = 0);
    // Decides everything still pending.
    void flush(std::string* out);
    // Forgets every symbol: the next one starts a new stream.
    void reset();

private:
    // The words as a prefix tree: each node is one bit of one or more words.
    struct Node {
        int parent;
        int depth;
        float sign;      // the symbol's sign relative to the one before the word
        float step;      // +1 for a bit without a reversal, -1 for one with
        float prior;     // best log prior of the words through this node
        int word;        // byte (or kIdle, kCarrier) of the word ending here, or kNone
    };
    struct Step {
        double score = 0;
        int node = -1;   // node of the word ending here on the best path, -1 at the start
        int8_t startSign = 1;
    };

    void Add(int word, const std::string& bits, float prior);
    // Emits the words on the best path into (`from`, `sign`) that end by `upTo`.
    void Decide(long long from, int sign, long long upTo, std::string* out);
    Step& At(long long position, int sign);

    std::vector<Node> m_nodes;       // parents before children
    std::vector<std::array<int, 2>> m_children; // while building: each node's child per sign
    std::vector<float> m_correlation; // per node: its bits against the newest symbols
    std::vector<float> m_previous;
    // Per node: what its bits score whatever the path's sign (their products
    // with the symbol before, less what their neighbours added to them).
    std::vector<float> m_signless;
    std::vector<float> m_previousSignless;
    int m_delay;
    static constexpr int kHistory = 256;
    std::vector<Step> m_steps;       // best path into each (position, sign), ring of kHistory
    long long m_position = -1;       // index of the newest symbol
    long long m_decided = 0;         // position up to which text has been decided
};

} // namespace psk31

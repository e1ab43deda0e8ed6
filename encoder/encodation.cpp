#include "encoder/encodation.h"

#include <algorithm>
#include <array>
#include <climits>
#include <deque>

#include "symbology/codeword_values.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// Costs are counted in twelfths of a codeword: a C40, Text or X12 value is two thirds of one
// (8), an EDIFACT value three quarters (9). Each twelfth is kScale steps, and every latch (and,
// for a forced scheme, every character given to ASCII) adds one step: of two encodations of
// equal length the one with fewer latches, or more characters in the forced scheme, wins.
constexpr int kScale = 4096;
constexpr int kUnit = 12 * kScale;
constexpr int kC40Value = 8 * kScale;
constexpr int kEdifactValue = 9 * kScale;
constexpr int kLatch = kUnit + 1;
constexpr int kUnreached = INT_MAX / 2;

constexpr int kEdifactUnlatch = 31;
constexpr int kShortBase256 = 249;  // longest field with a one-codeword length

// Search states: ASCII; C40, Text and X12 with 0, 1 or 2 values of the current triple written;
// EDIFACT with 0 to 3 values of the current group; inside a Base256 field of 250 bytes or more;
// and, for forced schemes, ASCII after the scheme's end (the last one or two characters).
enum State : uint8_t {
    Ascii,
    C40First,
    TextFirst = C40First + 3,
    X12First = TextFirst + 3,
    EdifactFirst = X12First + 3,
    LongBase256 = EdifactFirst + 4,
    AsciiTail,
    kStateCount
};

enum class Edge : uint8_t {
    None,
    Latch,
    Unlatch,
    Character,
    DigitPair,
    Base256Field,
    LongBase256Start
};

struct Node {
    int32_t cost = kUnreached;
    int32_t from = -1;  // position the edge leaves
    uint8_t fromState = 0;
    Edge edge = Edge::None;
};

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

int asciiCodewords(int c) {
    return c < 128 || c == kFnc1Character ? 1 : 2;
}

// C40 (text = false) or Text values of one character, shifts and Upper Shift included.
int c40Values(int c, bool text, std::array<int, 4>& v) {
    if (c == kFnc1Character) {
        v[0] = 1;
        v[1] = 27;
        return 2;
    }
    int n = 0;
    if (c >= 128) {
        v[n++] = 1;
        v[n++] = 30;
        c -= 128;
    }
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    if (c == ' ') {
        v[n++] = 3;
    } else if (isDigit(c)) {
        v[n++] = c - '0' + 4;
    } else if ((upper && !text) || (lower && text)) {
        v[n++] = c - (upper ? 'A' : 'a') + 14;
    } else if (c < 32) {
        v[n++] = 0;
        v[n++] = c;
    } else if (c <= 47) {
        v[n++] = 1;
        v[n++] = c - 33;
    } else if (c <= 64) {
        v[n++] = 1;
        v[n++] = c - 58 + 15;
    } else if (c <= 95 && !upper) {
        v[n++] = 1;
        v[n++] = c - 91 + 22;
    } else {
        // Shift 3: the back quote, the other case's letters, { | } ~ and DEL.
        v[n++] = 2;
        v[n++] = upper ? c - 64 : c - 96;
    }
    return n;
}

int c40ValueCount(int c, bool text) {
    std::array<int, 4> v{};
    return c40Values(c, text, v);
}

int x12Value(int c) {
    if (c == '\r')
        return 0;
    if (c == '*')
        return 1;
    if (c == '>')
        return 2;
    if (c == ' ')
        return 3;
    if (isDigit(c))
        return c - '0' + 4;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 14;
    return -1;
}

int edifactValue(int c) {
    return c >= 32 && c <= 94 ? c & 63 : -1;
}

// Codewords an EDIFACT unlatch takes with p values of the group already written, in twelfths
// beyond what those values were charged: the group is closed and padded to whole codewords.
constexpr std::array<int, 4> kEdifactUnlatchCost{12 * kScale, 15 * kScale, 18 * kScale, 9 * kScale};

int latchCodeword(State s) {
    if (s == C40First)
        return kLatchC40;
    if (s == TextFirst)
        return kLatchText;
    if (s == X12First)
        return kLatchX12;
    return kLatchEdifact;
}

// The triple schemes' first states, and which of them a scheme allows.
constexpr std::array<State, 3> kTripleFirst{C40First, TextFirst, X12First};

bool allowed(Scheme scheme, State first) {
    switch (scheme) {
        case Scheme::Auto:
            return true;
        case Scheme::C40:
            return first == C40First;
        case Scheme::Text:
            return first == TextFirst;
        case Scheme::X12:
            return first == X12First;
        case Scheme::Edifact:
            return first == EdifactFirst;
        default:
            return false;
    }
}

void appendAscii(std::vector<uint8_t>& out, std::span<const int> chars, int from, int to) {
    for (int i = from; i < to; ++i) {
        const int c = chars[i];
        if (i + 1 < to && isDigit(c) && isDigit(chars[i + 1])) {
            out.push_back(static_cast<uint8_t>(130 + 10 * (c - '0') + chars[i + 1] - '0'));
            ++i;
        } else if (c == kFnc1Character) {
            out.push_back(kFnc1);
        } else if (c < 128) {
            out.push_back(static_cast<uint8_t>(c + 1));
        } else {
            out.push_back(kUpperShift);
            out.push_back(static_cast<uint8_t>(c - 127));
        }
    }
}

// ASCII codewords of chars[from, to), digits paired from the left.
int asciiLength(std::span<const int> chars, int from, int to) {
    std::vector<uint8_t> codewords;
    appendAscii(codewords, chars, from, to);
    return static_cast<int>(codewords.size());
}

// The cheapest path to every (position, state), forward over the positions.
class Search {
  public:
    // A forced scheme gives at most the last `tail` characters to ASCII.
    Search(std::span<const int> chars, Scheme scheme, int prefixLength, int tail)
        : chars_(chars),
          n_(static_cast<int>(chars.size())),
          scheme_(scheme),
          tail_(tail),
          nodes_(static_cast<size_t>(n_ + 1) * kStateCount),
          nextFnc1_(static_cast<size_t>(n_ + 1), n_) {
        for (int i = n_ - 1; i >= 0; --i)
            nextFnc1_[i] = chars_[i] == kFnc1Character ? i : nextFnc1_[i + 1];
        at(0, Ascii) = {prefixLength * kUnit, -1, Ascii, Edge::None};
        for (int i = 0; i <= n_; ++i)
            advance(i);
    }

    const Node& node(int pos, int state) const {
        return nodes_[static_cast<size_t>(pos) * kStateCount + state];
    }
    int length() const { return n_; }

  private:
    Node& at(int pos, int state) { return nodes_[static_cast<size_t>(pos) * kStateCount + state]; }

    void relax(int from, int fromState, int to, int toState, int cost, Edge edge) {
        const int c = at(from, fromState).cost;
        if (c >= kUnreached)
            return;
        Node& target = at(to, toState);
        if (c + cost < target.cost)
            target = {c + cost, from, static_cast<uint8_t>(fromState), edge};
    }

    bool forced() const { return scheme_ != Scheme::Auto; }

    void advance(int i) {
        // Latching and unlatching here. Auto may leave one scheme for another at the same
        // position, through ASCII; a forced scheme latches at the start and may hand the whole
        // message to its ASCII tail.
        if (forced()) {
            latches(i);
            unlatches(i, AsciiTail);
        } else {
            fieldsEndingAt(i);
            unlatches(i, Ascii);
            latches(i);
            fieldsStartingAt(i);
        }
        if (i == n_)
            return;
        const int c = chars_[i];
        if (!forced())
            asciiEdges(i, Ascii);
        else if (n_ - i <= tail_)
            asciiEdges(i, AsciiTail);
        for (int k = 0; k < 2; ++k) {
            const State first = kTripleFirst[k];
            const int v = c40ValueCount(c, first == TextFirst);
            for (int p = 0; p < 3; ++p)
                relax(i, first + p, i + 1, first + (p + v) % 3, v * kC40Value, Edge::Character);
        }
        if (x12Value(c) >= 0) {
            for (int p = 0; p < 3; ++p)
                relax(i, X12First + p, i + 1, X12First + (p + 1) % 3, kC40Value, Edge::Character);
        }
        if (edifactValue(c) >= 0) {
            for (int p = 0; p < 4; ++p) {
                relax(i, EdifactFirst + p, i + 1, EdifactFirst + (p + 1) % 4, kEdifactValue,
                      Edge::Character);
            }
        }
        if (c != kFnc1Character)
            relax(i, LongBase256, i + 1, LongBase256, kUnit, Edge::Character);
        if (scheme_ == Scheme::Base256 && i == 0)
            forcedBase256Field();
    }

    void unlatches(int i, int back) {
        for (const State first : kTripleFirst)
            relax(i, first, i, back, kUnit, Edge::Unlatch);
        for (int p = 0; p < 4; ++p)
            relax(i, EdifactFirst + p, i, back, kEdifactUnlatchCost[p], Edge::Unlatch);
        relax(i, LongBase256, i, Ascii, 0, Edge::Unlatch);
    }

    void latches(int i) {
        if (forced() && i > 0)
            return;
        for (const State first : kTripleFirst) {
            if (allowed(scheme_, first))
                relax(i, Ascii, i, first, kLatch, Edge::Latch);
        }
        if (allowed(scheme_, EdifactFirst))
            relax(i, Ascii, i, EdifactFirst, kLatch, Edge::Latch);
    }

    void asciiEdges(int i, int state) {
        const int c = chars_[i];
        const int given = state == AsciiTail ? 1 : 0;  // a step per character given to ASCII
        if (i + 1 < n_ && isDigit(c) && isDigit(chars_[i + 1]))
            relax(i, state, i + 2, state, kUnit + 2 * given, Edge::DigitPair);
        relax(i, state, i + 1, state, asciiCodewords(c) * kUnit + given, Edge::Character);
    }

    // Base256 fields cost their latch and length, then one codeword per byte. A field of up to
    // 249 bytes ending at i costs the ASCII cost at its start f plus (2 + i - f) codewords: the
    // window keeps the starts of the last 249 positions (none before an FNC1, which Base256
    // cannot hold) in increasing order of cost less position, so its front is the best start.
    void fieldsEndingAt(int i) {
        if (i > 0 && chars_[i - 1] == kFnc1Character)
            window_.clear();
        while (!window_.empty() && window_.front() < i - kShortBase256)
            window_.pop_front();
        if (!window_.empty()) {
            const int f = window_.front();
            relax(f, Ascii, i, Ascii, (2 + i - f) * kUnit + 1, Edge::Base256Field);
        }
    }

    // Opens fields at i: into the window, and a field of 250 bytes or more through LongBase256.
    void fieldsStartingAt(int i) {
        const int cost = at(i, Ascii).cost;
        if (cost >= kUnreached || i == n_ || chars_[i] == kFnc1Character)
            return;
        const int key = cost - i * kUnit;
        while (!window_.empty() && at(window_.back(), Ascii).cost - window_.back() * kUnit >= key)
            window_.pop_back();
        window_.push_back(i);
        const int length = kShortBase256 + 1;
        if (i + length <= n_ && nextFnc1_[i] >= i + length)
            relax(i, Ascii, i + length, LongBase256, (3 + length) * kUnit + 1,
                  Edge::LongBase256Start);
    }

    // A forced Base256 scheme writes the whole message in one field.
    void forcedBase256Field() {
        if (n_ <= kShortBase256)
            relax(0, Ascii, n_, Ascii, (2 + n_) * kUnit + 1, Edge::Base256Field);
        else
            relax(0, Ascii, kShortBase256 + 1, LongBase256, (4 + kShortBase256) * kUnit + 1,
                  Edge::LongBase256Start);
    }

    std::span<const int> chars_;
    int n_;
    Scheme scheme_;
    int tail_;
    std::vector<Node> nodes_;
    std::vector<int> nextFnc1_;  // index of the first FNC1 at or after each position, or n
    std::deque<int> window_;     // starts of Base256 fields that may end at the next position
};

struct Step {
    int from, fromState, to, toState;
    Edge edge;
};

// The edges of the cheapest path to (pos, state), first edge first.
std::vector<Step> pathTo(const Search& search, int pos, int state) {
    std::vector<Step> steps;
    while (pos > 0 || state != Ascii) {
        const Node& nd = search.node(pos, state);
        steps.push_back({nd.from, nd.fromState, pos, state, nd.edge});
        pos = nd.from;
        state = nd.fromState;
    }
    std::reverse(steps.begin(), steps.end());
    return steps;
}

bool inTriple(int state) {
    return state >= C40First && state < EdifactFirst;
}
bool inEdifact(int state) {
    return state >= EdifactFirst && state < EdifactFirst + 4;
}

// Writes the codewords of a path for a symbol of capacity data codewords. Nothing when the path
// would need more, or would begin an EDIFACT group where fewer than three codewords remain (a
// reader takes those as ASCII).
class Writer {
  public:
    Writer(std::span<const int> chars, std::span<const uint8_t> prefix, int capacity)
        : chars_(chars), out_(prefix.begin(), prefix.end()), capacity_(capacity) {}

    bool write(const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            if (!step(s))
                return false;
        }
        return true;
    }

    // Closes a triple with a Shift 1, which reads as nothing.
    void padTriple() { pushTripleValue(0); }

    void ascii(int from, int to) { appendAscii(out_, chars_, from, to); }

    std::optional<std::vector<uint8_t>> finish() {
        if (static_cast<int>(out_.size()) > capacity_)
            return std::nullopt;
        return std::move(out_);
    }

  private:
    bool step(const Step& s) {
        switch (s.edge) {
            case Edge::Latch:
                out_.push_back(static_cast<uint8_t>(latchCodeword(static_cast<State>(s.toState))));
                return true;
            case Edge::Unlatch:
                if (inTriple(s.fromState)) {
                    out_.push_back(kUnlatch);
                } else if (inEdifact(s.fromState)) {
                    if (!pushEdifactValue(kEdifactUnlatch))
                        return false;
                    flushEdifact();
                } else {
                    writeBase256(longStart_, s.to);
                }
                return true;
            case Edge::DigitPair:
            case Edge::Character:
                return character(s);
            case Edge::Base256Field:
                writeBase256(s.from, s.to);
                return true;
            case Edge::LongBase256Start:
                longStart_ = s.from;
                return true;
            case Edge::None:
                break;
        }
        return false;
    }

    bool character(const Step& s) {
        const int c = chars_[s.from];
        if (s.fromState == Ascii || s.fromState == AsciiTail) {
            ascii(s.from, s.to);
        } else if (s.fromState >= X12First && s.fromState < EdifactFirst) {
            pushTripleValue(x12Value(c));
        } else if (inTriple(s.fromState)) {
            std::array<int, 4> v{};
            const int count = c40Values(c, s.fromState >= TextFirst, v);
            for (int k = 0; k < count; ++k)
                pushTripleValue(v[k]);
        } else if (inEdifact(s.fromState)) {
            return pushEdifactValue(edifactValue(c));
        }
        // Bytes of a long Base256 field are written when the field ends.
        return true;
    }

    void pushTripleValue(int v) {
        triple_[tripleCount_++] = v;
        if (tripleCount_ == 3) {
            const int packed = 1600 * triple_[0] + 40 * triple_[1] + triple_[2] + 1;
            out_.push_back(static_cast<uint8_t>(packed >> 8));
            out_.push_back(static_cast<uint8_t>(packed & 255));
            tripleCount_ = 0;
        }
    }

    bool pushEdifactValue(int v) {
        if (edifactCount_ == 0 && capacity_ - static_cast<int>(out_.size()) < 3)
            return false;
        edifactBits_ = edifactBits_ << 6 | static_cast<uint32_t>(v);
        if (++edifactCount_ == 4)
            flushEdifact();
        return true;
    }

    // Writes the group's values in whole codewords, the last one padded with zero bits.
    void flushEdifact() {
        const int bits = 6 * edifactCount_;
        const int bytes = (bits + 7) / 8;
        const uint32_t aligned = edifactBits_ << (8 * bytes - bits);
        for (int k = bytes - 1; k >= 0; --k)
            out_.push_back(static_cast<uint8_t>(aligned >> (8 * k)));
        edifactBits_ = 0;
        edifactCount_ = 0;
    }

    void writeBase256(int from, int to) {
        out_.push_back(kLatchBase256);
        const int length = to - from;
        std::vector<int> field;
        if (length <= kShortBase256) {
            field.push_back(length);
        } else {
            field.push_back(length / 250 + 249);
            field.push_back(length % 250);
        }
        field.insert(field.end(), chars_.begin() + from, chars_.begin() + to);
        // Each codeword is randomised by its 1-based position in the symbol.
        for (const int v : field) {
            const int position = static_cast<int>(out_.size()) + 1;
            out_.push_back(static_cast<uint8_t>((v + (149 * position) % 255 + 1) & 255));
        }
    }

    std::span<const int> chars_;
    std::vector<uint8_t> out_;
    int capacity_;
    std::array<int, 3> triple_{};
    int tripleCount_ = 0;
    uint32_t edifactBits_ = 0;
    int edifactCount_ = 0;
    int longStart_ = 0;
};

// One way to end the message: the path to (pos, state), then what the end-of-data rules add.
enum class Ending { Plain, ImpliedAscii, PaddedTriple };

struct Candidate {
    int length;  // codewords before the pads
    int steps;   // latches (Auto), or characters given to ASCII (forced)
    int pos, state;
    Ending ending;
};

// Every ending the end-of-data rules allow in a symbol of capacity data codewords.
std::vector<Candidate> endings(const Search& search, std::span<const int> chars, int capacity,
                               bool forced) {
    const int n = search.length();
    std::vector<Candidate> out;
    auto cost = [&](int pos, int state) { return search.node(pos, state).cost; };
    auto steps = [&](int pos, int state) { return cost(pos, state) % kScale + (n - pos); };
    for (const int s : {int(Ascii), int(AsciiTail)}) {
        if (cost(n, s) < kUnreached && cost(n, s) / kUnit <= capacity)
            out.push_back({cost(n, s) / kUnit, steps(n, s), n, s, Ending::Plain});
    }
    // A triple scheme or EDIFACT ending on a whole group exactly fills the symbol: no unlatch.
    for (const int s : {int(C40First), int(TextFirst), int(X12First), int(EdifactFirst)}) {
        if (cost(n, s) < kUnreached && cost(n, s) / kUnit == capacity)
            out.push_back({capacity, steps(n, s), n, s, Ending::Plain});
    }
    // With one codeword left after a whole triple, it is read as ASCII without an unlatch.
    for (const int s : kTripleFirst) {
        for (int j = std::max(0, n - 2); j < n; ++j) {
            if (cost(j, s) < kUnreached && cost(j, s) / kUnit + 1 == capacity &&
                asciiLength(chars, j, n) == 1)
                out.push_back({capacity, steps(j, s), j, s, Ending::ImpliedAscii});
        }
    }
    // Two C40 or Text values left with two codewords: a Shift 1 completes the triple.
    for (const int s : {C40First + 2, TextFirst + 2}) {
        if (cost(n, s) < kUnreached && (cost(n, s) + kC40Value) / kUnit == capacity)
            out.push_back({capacity, steps(n, s), n, s, Ending::PaddedTriple});
    }
    // One or two codewords left after a whole EDIFACT group are read as ASCII.
    for (int j = std::max(0, n - 4); j <= n; ++j) {
        const int c = cost(j, EdifactFirst);
        if (c >= kUnreached)
            continue;
        const int left = capacity - c / kUnit;
        const int tail = asciiLength(chars, j, n);
        if (left >= 1 && left <= 2 && tail <= left)
            out.push_back(
                {c / kUnit + tail, steps(j, EdifactFirst), j, EdifactFirst, Ending::ImpliedAscii});
    }
    // Auto wants the fewest codewords; a forced scheme the most characters in the scheme that
    // the size holds.
    std::stable_sort(out.begin(), out.end(), [forced](const Candidate& a, const Candidate& b) {
        return forced ? std::pair(a.steps, a.length) < std::pair(b.steps, b.length)
                      : std::pair(a.length, a.steps) < std::pair(b.length, b.steps);
    });
    return out;
}

std::optional<std::vector<uint8_t>> writeEnding(const Search& search, std::span<const int> chars,
                                                std::span<const uint8_t> prefix, int capacity,
                                                const Candidate& c) {
    Writer writer(chars, prefix, capacity);
    if (!writer.write(pathTo(search, c.pos, c.state)))
        return std::nullopt;
    if (c.ending == Ending::ImpliedAscii)
        writer.ascii(c.pos, search.length());
    else if (c.ending == Ending::PaddedTriple)
        writer.padTriple();
    return writer.finish();
}

// Pads after the data: 129, then pads randomised by their 1-based position.
void pad(std::vector<uint8_t>& data, int capacity) {
    if (static_cast<int>(data.size()) < capacity)
        data.push_back(kPad);
    while (static_cast<int>(data.size()) < capacity)
        data.push_back(randomisedPad(static_cast<int>(data.size()) + 1));
}

}  // namespace

int asciiCodewordCount(std::span<const uint8_t> message) {
    const std::vector<int> chars(message.begin(), message.end());
    return asciiLength(chars, 0, static_cast<int>(chars.size()));
}

int unwritableCharacter(std::span<const int> chars, Scheme scheme) {
    if (scheme != Scheme::X12 && scheme != Scheme::Edifact && scheme != Scheme::Base256)
        return -1;
    for (size_t i = 0; i < chars.size(); ++i) {
        const int c = chars[i];
        const bool ok = scheme == Scheme::X12       ? x12Value(c) >= 0
                        : scheme == Scheme::Edifact ? edifactValue(c) >= 0
                        : scheme == Scheme::Base256 ? c != kFnc1Character
                                                    : true;
        if (!ok)
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<Encodation> encodeData(std::span<const uint8_t> prefix, std::span<const int> chars,
                                     Scheme scheme, std::span<const int> candidates) {
    const int prefixLength = static_cast<int>(prefix.size());
    if (scheme == Scheme::Ascii) {
        std::vector<uint8_t> data;
        // Two codewords at most per character: the data is written without growing.
        data.reserve(prefix.size() + 2 * chars.size());
        data.assign(prefix.begin(), prefix.end());
        appendAscii(data, chars, 0, static_cast<int>(chars.size()));
        for (const int sizeIndex : candidates) {
            const int capacity = symbolSize(sizeIndex).dataCodewords;
            if (static_cast<int>(data.size()) <= capacity) {
                const auto length = static_cast<int32_t>(data.size());
                Encodation e{std::move(data), length, sizeIndex};
                pad(e.codewords, capacity);
                return e;
            }
        }
        return std::nullopt;
    }
    // An empty message has nothing to latch for.
    if (chars.empty())
        scheme = Scheme::Auto;
    // A forced scheme ends on a whole triple or group before its ASCII tail of one or two
    // characters. Characters of three C40 or Text values (an Upper Shift before a basic one)
    // leave the triple where it was, so the tail grows to the shortest that lets the message
    // end (found by bisection: a longer tail never takes an end away).
    const int n = static_cast<int>(chars.size());
    int tail = 2;
    auto ends = [&](int t) {
        return Search(chars, scheme, prefixLength, t).node(n, AsciiTail).cost < kUnreached;
    };
    if (scheme != Scheme::Auto && n > tail && !ends(tail)) {
        int low = tail, high = n;  // ends(low) is false, ends(high) is true
        while (high - low > 1) {
            const int mid = (low + high) / 2;
            (ends(mid) ? high : low) = mid;
        }
        tail = high;
    }
    const Search search(chars, scheme, prefixLength, tail);
    for (const int sizeIndex : candidates) {
        const int capacity = symbolSize(sizeIndex).dataCodewords;
        for (const Candidate& c : endings(search, chars, capacity, scheme != Scheme::Auto)) {
            auto data = writeEnding(search, chars, prefix, capacity, c);
            if (!data)
                continue;
            Encodation e{std::move(*data), 0, sizeIndex};
            e.dataLength = static_cast<int32_t>(e.codewords.size());
            pad(e.codewords, capacity);
            return e;
        }
    }
    return std::nullopt;
}

}  // namespace dm

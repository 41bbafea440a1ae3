#include "docengine/implode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace docengine {
namespace {

// ---- code tables ----------------------------------------------------------
// Code lengths in compact form: each byte is (repeat - 1) << 4 | length.

constexpr std::uint8_t kLiteralLengthsPacked[] = {
    11, 124, 8, 7, 28, 7, 188, 13, 76, 4, 10, 8, 12, 10, 12, 10, 8, 23, 8,
    9, 7, 6, 7, 8, 7, 6, 55, 8, 23, 24, 12, 11, 7, 9, 11, 12, 6, 7, 22, 5,
    7, 24, 6, 11, 9, 6, 7, 22, 7, 11, 38, 7, 9, 8, 25, 11, 8, 11, 9, 12,
    8, 12, 5, 38, 5, 38, 5, 11, 7, 5, 6, 21, 6, 10, 53, 8, 7, 24, 10, 27,
    44, 253, 253, 253, 252, 252, 252, 13, 12, 45, 12, 45, 12, 61, 12, 45,
    44, 173};
constexpr std::uint8_t kLengthLengthsPacked[] = {2, 35, 36, 53, 38, 23};
constexpr std::uint8_t kDistanceLengthsPacked[] = {2, 20, 53, 230, 247, 151, 248};

constexpr std::uint16_t kLengthBase[16] = {3, 2, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264};
constexpr std::uint8_t kLengthExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

constexpr unsigned kMaxLiteralBits = 13;
constexpr unsigned kMaxLengthBits = 7;
constexpr unsigned kMaxDistanceBits = 8;
constexpr unsigned kEndLength = 519;
constexpr unsigned kMaxMatch = 518;

template <std::size_t N>
struct Code {
    std::array<std::uint8_t, N> len{};    // bits of each symbol's code
    std::array<std::uint16_t, N> wire{};  // the code as it appears in the LSB-first stream
};

// Canonical codes in symbol order within each length, sent inverted and
// most significant bit first; turning that into an LSB-first integer lets
// both sides work with plain shifts and masks.
template <std::size_t N, std::size_t P>
constexpr Code<N> MakeCode(const std::uint8_t (&packed)[P]) {
    Code<N> code{};
    std::size_t sym = 0;
    for (std::size_t i = 0; i < P; ++i) {
        for (unsigned r = 0; r <= (packed[i] >> 4u); ++r) code.len[sym++] = packed[i] & 15u;
    }
    unsigned first = 0;
    for (unsigned bits = 1; bits <= 15; ++bits) {
        unsigned next = first;
        for (std::size_t s = 0; s < N; ++s) {
            if (code.len[s] != bits) continue;
            unsigned inverted = ~next & ((1u << bits) - 1u);
            unsigned reversed = 0;
            for (unsigned b = 0; b < bits; ++b) reversed |= ((inverted >> (bits - 1 - b)) & 1u) << b;
            code.wire[s] = static_cast<std::uint16_t>(reversed);
            ++next;
        }
        first = next << 1;
    }
    return code;
}

constexpr Code<256> kLiteralCode = MakeCode<256>(kLiteralLengthsPacked);
constexpr Code<16> kLengthCode = MakeCode<16>(kLengthLengthsPacked);
constexpr Code<64> kDistanceCode = MakeCode<64>(kDistanceLengthsPacked);

// Decoding tables indexed by the next bits of the stream: (bits << 8) | symbol.
// An entry of 0 bits marks a pattern that is no code.
template <unsigned TableBits, std::size_t N>
constexpr std::array<std::uint16_t, (1u << TableBits)> MakeDecodeTable(const Code<N>& code) {
    std::array<std::uint16_t, (1u << TableBits)> table{};
    for (std::size_t s = 0; s < N; ++s) {
        const unsigned bits = code.len[s];
        if (bits == 0) continue;
        for (unsigned hi = 0; hi < (1u << (TableBits - bits)); ++hi) {
            table[(hi << bits) | code.wire[s]] = static_cast<std::uint16_t>((bits << 8) | s);
        }
    }
    return table;
}

constexpr auto kLiteralTable = MakeDecodeTable<kMaxLiteralBits>(kLiteralCode);
constexpr auto kDistanceTable = MakeDecodeTable<kMaxDistanceBits>(kDistanceCode);

// Length table entries carry the code bits, the extra bits and the base,
// so a length costs one lookup: base | extra << 16 | codeBits << 24.
constexpr std::array<std::uint32_t, (1u << kMaxLengthBits)> MakeLengthTable() {
    std::array<std::uint32_t, (1u << kMaxLengthBits)> table{};
    const auto raw = MakeDecodeTable<kMaxLengthBits>(kLengthCode);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const unsigned sym = raw[i] & 0xFFu;
        const unsigned bits = raw[i] >> 8;
        table[i] = bits == 0 ? 0u : (kLengthBase[sym] | (unsigned{kLengthExtra[sym]} << 16) | (bits << 24));
    }
    return table;
}
constexpr auto kLengthTable = MakeLengthTable();

// Encoding of a whole length, the leading 1 (pair) bit included.
struct LengthEncoding {
    std::array<std::uint32_t, kEndLength + 1> value{};
    std::array<std::uint8_t, kEndLength + 1> bits{};
};
constexpr LengthEncoding MakeLengthEncoding() {
    LengthEncoding enc{};
    for (unsigned len = 2; len <= kEndLength; ++len) {
        unsigned sym = 0;
        for (unsigned s = 0; s < 16; ++s) {
            if (len >= kLengthBase[s] && len < kLengthBase[s] + (1u << kLengthExtra[s])) sym = s;
        }
        const unsigned codeBits = kLengthCode.len[sym];
        enc.value[len] = 1u | (unsigned{kLengthCode.wire[sym]} << 1) | ((len - kLengthBase[sym]) << (1 + codeBits));
        enc.bits[len] = static_cast<std::uint8_t>(1 + codeBits + kLengthExtra[sym]);
    }
    return enc;
}
constexpr LengthEncoding kLengthEncoding = MakeLengthEncoding();

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

// ---- decoder --------------------------------------------------------------

int Explode(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
            std::size_t* pcbOut, std::size_t* pcbUsed) {
    *pcbOut = 0;
    if (cbIn < 1) return kImplodeTruncated;
    const unsigned literalMode = pbIn[0];
    if (literalMode > 1) return kImplodeBadLiteralMode;
    if (cbIn < 2) return kImplodeTruncated;
    const unsigned dictBits = pbIn[1];
    if (dictBits < 4 || dictBits > 6) return kImplodeBadDictionary;

    const std::uint8_t* ip = pbIn + 2;
    const std::uint8_t* const iend = pbIn + cbIn;
    std::uint8_t* op = pbOut;
    std::uint8_t* const oend = pbOut + cbRoom;
    const std::uint64_t dictMask = (1u << dictBits) - 1u;

    // Bits past the end of the input are fed as zeros and counted in
    // phantom; consuming any of them means the stream was cut short.
    std::uint64_t bitBuf = 0;
    unsigned bitCount = 0;
    unsigned phantom = 0;
    int result = kImplodeOk;

    for (;;) {
        if (iend - ip >= 8) {
            bitBuf |= Load64(ip) << bitCount;
            ip += (63 - bitCount) >> 3;
            bitCount |= 56;
        } else {
            while (bitCount <= 56) {
                if (ip < iend) {
                    bitBuf |= std::uint64_t{*ip++} << bitCount;
                } else {
                    phantom += 8;
                }
                bitCount += 8;
            }
        }

        if (bitBuf & 1u) {
            const std::uint32_t lenEntry = kLengthTable[(bitBuf >> 1) & ((1u << kMaxLengthBits) - 1u)];
            if (lenEntry == 0) { result = kImplodeBadCode; break; }
            unsigned used = 1 + (lenEntry >> 24);
            bitBuf >>= used;
            const unsigned extra = (lenEntry >> 16) & 0xFFu;
            const unsigned len = (lenEntry & 0xFFFFu) + static_cast<unsigned>(bitBuf & ((1u << extra) - 1u));
            bitBuf >>= extra;
            bitCount -= used + extra;
            if (len == kEndLength) {
                if (bitCount < phantom) { result = kImplodeTruncated; break; }
                break;
            }
            const unsigned distEntry = kDistanceTable[bitBuf & ((1u << kMaxDistanceBits) - 1u)];
            if (distEntry == 0) { result = kImplodeBadCode; break; }
            const unsigned distCodeBits = distEntry >> 8;
            bitBuf >>= distCodeBits;
            std::size_t dist;
            unsigned lowBits;
            if (len == 2) {
                lowBits = 2;
                dist = ((distEntry & 0xFFu) << 2) + static_cast<std::size_t>(bitBuf & 3u) + 1;
            } else {
                lowBits = dictBits;
                dist = ((distEntry & 0xFFu) << dictBits) + static_cast<std::size_t>(bitBuf & dictMask) + 1;
            }
            bitBuf >>= lowBits;
            bitCount -= distCodeBits + lowBits;
            if (bitCount < phantom) { result = kImplodeTruncated; break; }
            if (dist > static_cast<std::size_t>(op - pbOut)) { result = kImplodeBadDistance; break; }
            if (len > static_cast<std::size_t>(oend - op)) { result = kImplodeOutputFull; break; }
            const std::uint8_t* from = op - dist;
            if (dist >= 8 && static_cast<std::size_t>(oend - op) >= len + 8) {
                // Whole words: the source stays at least 8 bytes behind the
                // target, and the room has space for the overshoot.
                std::uint8_t* to = op;
                std::uint8_t* const stop = op + len;
                do {
                    std::memcpy(to, from, 8);
                    to += 8;
                    from += 8;
                } while (to < stop);
            } else if (dist == 1) {
                std::memset(op, *from, len);
            } else {
                for (unsigned i = 0; i < len; ++i) op[i] = from[i];
            }
            op += len;
        } else {
            unsigned literal;
            if (literalMode == 0) {
                literal = static_cast<unsigned>((bitBuf >> 1) & 0xFFu);
                bitBuf >>= 9;
                bitCount -= 9;
            } else {
                const unsigned entry = kLiteralTable[(bitBuf >> 1) & ((1u << kMaxLiteralBits) - 1u)];
                if (entry == 0) { result = kImplodeBadCode; break; }
                literal = entry & 0xFFu;
                const unsigned used = 1 + (entry >> 8);
                bitBuf >>= used;
                bitCount -= used;
            }
            if (bitCount < phantom) { result = kImplodeTruncated; break; }
            if (op == oend) { result = kImplodeOutputFull; break; }
            *op++ = static_cast<std::uint8_t>(literal);
        }
    }
    if (result != kImplodeOk) return result;
    *pcbOut = static_cast<std::size_t>(op - pbOut);
    if (pcbUsed != nullptr) {
        // Whole bytes still held in the bit buffer were not used.
        const std::size_t cbHeld = (bitCount - phantom) / 8;
        *pcbUsed = static_cast<std::size_t>(ip - pbIn) - cbHeld;
    }
    return kImplodeOk;
}

// ---- encoder --------------------------------------------------------------

namespace {

constexpr unsigned kHashBits = 14;
constexpr unsigned kPairWindow = 256;    // largest distance of a length-2 pair
constexpr unsigned kRingSize = 8192;     // chain links; twice the window keeps live links intact
constexpr unsigned kMaxChain = 8;
constexpr unsigned kNiceLength = 24;     // a match this long is taken as it is

// Positions are stored offset by a base that moves on with every call, so
// entries of earlier inputs look too far away and the tables need no clearing.
constexpr std::uint32_t kBaseStep = 2 * kRingSize;
constexpr std::uint32_t kBaseLimit = 0xF0000000u;

inline std::uint32_t Hash3(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

inline unsigned Pair(const std::uint8_t* p) { return p[0] | (unsigned{p[1]} << 8); }

inline unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned n = 0;
    while (n + 8 <= limit) {
        const std::uint64_t diff = Load64(a + n) ^ Load64(b + n);
        if (diff != 0) return n + (static_cast<unsigned>(__builtin_ctzll(diff)) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

class BitWriter {
public:
    explicit BitWriter(std::uint8_t* p) : m_p(p) {}
    // n <= 32
    void Put(std::uint32_t value, unsigned n) {
        m_acc |= std::uint64_t{value} << m_count;
        m_count += n;
        if (m_count >= 32) {
            Store32(m_p, static_cast<std::uint32_t>(m_acc));
            m_p += 4;
            m_acc >>= 32;
            m_count -= 32;
        }
    }
    std::uint8_t* Finish() {
        while (m_count > 0) {
            *m_p++ = static_cast<std::uint8_t>(m_acc);
            m_acc >>= 8;
            m_count = m_count > 8 ? m_count - 8 : 0;
        }
        return m_p;
    }

private:
    std::uint8_t* m_p;
    std::uint64_t m_acc = 0;
    unsigned m_count = 0;
};

}  // namespace

struct ImplodeEncoder::WorkArea {
    std::vector<std::uint32_t> head = std::vector<std::uint32_t>(1u << kHashBits, 0);
    std::vector<std::uint32_t> chain = std::vector<std::uint32_t>(kRingSize, 0);
    std::vector<std::uint32_t> pairHead = std::vector<std::uint32_t>(1u << 16, 0);
    std::vector<std::uint8_t> spill;  // when the caller's room is below the worst case
    std::vector<std::uint32_t> price;  // bits to reach each position
    std::vector<std::uint16_t> stepLen, stepDist;  // the step that reaches it
    std::vector<std::uint32_t> steps;
    std::uint32_t base = kBaseStep;
};

ImplodeEncoder::ImplodeEncoder() : m_pWork(new WorkArea) {}
ImplodeEncoder::~ImplodeEncoder() = default;

namespace {

inline void PutLiteral(BitWriter& bw, std::uint8_t b, bool bCoded) {
    if (bCoded) {
        bw.Put(std::uint32_t{kLiteralCode.wire[b]} << 1, 1u + kLiteralCode.len[b]);
    } else {
        bw.Put(std::uint32_t{b} << 1, 9);
    }
}

// Bits a pair costs in the stream.
inline unsigned MatchCost(unsigned len, unsigned dist, unsigned dictBits) {
    const unsigned lowBits = len == 2 ? 2 : dictBits;
    return kLengthEncoding.bits[len] + kDistanceCode.len[(dist - 1) >> lowBits] + lowBits;
}

inline void PutMatch(BitWriter& bw, unsigned len, unsigned dist, unsigned dictBits) {
    bw.Put(kLengthEncoding.value[len], kLengthEncoding.bits[len]);
    const unsigned lowBits = len == 2 ? 2 : dictBits;
    const unsigned d = dist - 1;
    const unsigned sym = d >> lowBits;
    const unsigned codeBits = kDistanceCode.len[sym];
    bw.Put(kDistanceCode.wire[sym] | ((d & ((1u << lowBits) - 1u)) << codeBits), codeBits + lowBits);
}

}  // namespace

int ImplodeEncoder::Compress(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
                             std::size_t* pcbOut, const ImplodeOptions& options) {
    *pcbOut = 0;
    const unsigned dictBits = options.dictBits;
    const bool bCoded = options.bCodedLiterals;
    if (dictBits < 4 || dictBits > 6) return kImplodeBadDictionary;
    const std::uint32_t window = 64u << dictBits;
    WorkArea& w = *m_pWork;
    if (cbIn > kBaseLimit / 2) return kImplodeOutputFull;  // beyond any record the engine writes
    if (w.base > kBaseLimit - cbIn - kBaseStep) {
        std::fill(w.head.begin(), w.head.end(), 0);
        std::fill(w.chain.begin(), w.chain.end(), 0);
        std::fill(w.pairHead.begin(), w.pairHead.end(), 0);
        w.base = kBaseStep;
    }
    // Coded literals take up to 14 bits each.
    const std::size_t cbBound = (bCoded ? 2 + (cbIn * 14 + 7) / 8 + 3 : ImplodeBound(cbIn)) + 8;  // +8: the writer stores whole words
    std::uint8_t* pTarget = pbOut;
    if (cbRoom < cbBound) {
        w.spill.resize(cbBound);
        pTarget = w.spill.data();
    }

    pTarget[0] = bCoded ? 1 : 0;
    pTarget[1] = static_cast<std::uint8_t>(dictBits);
    BitWriter bw(pTarget + 2);

    const std::uint32_t base = w.base;
    std::uint32_t* const head = w.head.data();
    std::uint32_t* const chain = w.chain.data();
    std::uint32_t* const pairHead = w.pairHead.data();
    const std::uint32_t n = static_cast<std::uint32_t>(cbIn);

    auto insert = [&](std::uint32_t pos) {
        if (pos + 3 <= n) {
            const std::uint32_t h = Hash3(pbIn + pos);
            chain[(base + pos) & (kRingSize - 1)] = head[h];
            head[h] = base + pos;
        }
        if (pos + 2 <= n) pairHead[Pair(pbIn + pos)] = base + pos;
    };

    // The codes are fixed, so the price of every literal and pair is known
    // in advance and the cheapest parse of the whole input can be found by
    // a forward pass over the positions (price of reaching each position)
    // and a walk back from the end. Long matches are taken as they come.
    std::vector<std::uint32_t>& price = w.price;
    std::vector<std::uint16_t>& stepLen = w.stepLen;
    std::vector<std::uint16_t>& stepDist = w.stepDist;
    price.assign(cbIn + 1, UINT32_MAX);
    stepLen.resize(cbIn + 1);
    stepDist.resize(cbIn + 1);
    price[0] = 0;
    auto relax = [&](std::uint32_t target, std::uint32_t cost, unsigned len, unsigned dist) {
        if (cost < price[target]) {
            price[target] = cost;
            stepLen[target] = static_cast<std::uint16_t>(len);
            stepDist[target] = static_cast<std::uint16_t>(dist);
        }
    };

    std::uint32_t pos = 0;
    while (pos < n) {
        const std::uint32_t base0 = price[pos];
        relax(pos + 1, base0 + (bCoded ? 1u + kLiteralCode.len[pbIn[pos]] : 9u), 1, 0);
        const std::uint32_t limit = n - pos < kMaxMatch ? n - pos : kMaxMatch;
        const std::uint8_t* cur = pbIn + pos;
        const std::uint32_t absPos = base + pos;
        if (limit >= 2) {
            const std::uint32_t cand = pairHead[Pair(cur)];
            if (cand < absPos && absPos - cand <= kPairWindow) {
                const unsigned dist = absPos - cand;
                relax(pos + 2, base0 + MatchCost(2, dist, dictBits), 2, dist);
            }
        }
        unsigned bestLen = 2;
        unsigned bestDist = 0;
        if (limit >= 3) {
            std::uint32_t cand = head[Hash3(cur)];
            unsigned left = kMaxChain;
            while (cand < absPos && absPos - cand <= window && left-- > 0) {
                const std::uint8_t* p = pbIn + (cand - base);
                if (p[bestLen] == cur[bestLen] && p[0] == cur[0] && p[1] == cur[1]) {
                    const unsigned len = MatchLength(p, cur, limit);
                    if (len > bestLen) {
                        const unsigned dist = absPos - cand;
                        const unsigned d = dist - 1;
                        const std::uint32_t distPrice = base0 + kDistanceCode.len[d >> dictBits] + dictBits;
                        if (len < kNiceLength) {
                            // Every length this candidate adds, at its (nearest) distance.
                            for (unsigned l = bestLen + 1; l <= len; ++l) relax(pos + l, distPrice + kLengthEncoding.bits[l], l, dist);
                        }
                        bestLen = len;
                        bestDist = dist;
                        if (len >= kNiceLength || len == limit) break;
                    }
                }
                const std::uint32_t next = chain[cand & (kRingSize - 1)];
                if (next >= cand) break;
                cand = next;
            }
        }
        insert(pos);
        if (bestLen >= kNiceLength) {
            relax(pos + bestLen, base0 + MatchCost(bestLen, bestDist, dictBits), bestLen, bestDist);
            for (std::uint32_t p = pos + 1; p < pos + bestLen; ++p) insert(p);
            pos += bestLen;
            continue;
        }
        ++pos;
    }

    // Walk back from the end, then send the steps in order.
    std::vector<std::uint32_t>& steps = w.steps;
    steps.clear();
    for (std::uint32_t at = n; at > 0; at -= stepLen[at]) steps.push_back(at);
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        const std::uint32_t at = *it;
        const unsigned len = stepLen[at];
        if (len == 1) {
            PutLiteral(bw, pbIn[at - 1], bCoded);
        } else {
            PutMatch(bw, len, stepDist[at], dictBits);
        }
    }
    bw.Put(kLengthEncoding.value[kEndLength], kLengthEncoding.bits[kEndLength]);
    const std::size_t cbOut = static_cast<std::size_t>(bw.Finish() - pTarget);
    w.base += n + kBaseStep;

    if (pTarget != pbOut) {
        if (cbOut > cbRoom) return kImplodeOutputFull;
        std::memcpy(pbOut, pTarget, cbOut);
    }
    *pcbOut = cbOut;
    return kImplodeOk;
}

}  // namespace docengine

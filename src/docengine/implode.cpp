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

// ---- decoder --------------------------------------------------------------

// The bit stream behind the two header bytes, least significant bit first.
// The reader holds at least 57 bits after each Refill, so one symbol with
// its extra bits never needs a second refill. Bits past the end of the input
// are fed as zeros and counted in phantom; taking any of them means the
// stream was cut short, which the caller asks with Overrun after a symbol.
class BitReader {
public:
    BitReader(const std::uint8_t* pbIn, std::size_t cbIn) : m_ip(pbIn), m_iend(pbIn + cbIn) {}

    void Refill() {
        if (m_iend - m_ip >= 8) {
            m_bitBuf |= Load64(m_ip) << m_bitCount;
            m_ip += (63 - m_bitCount) >> 3;
            m_bitCount |= 56;
            return;
        }
        while (m_bitCount <= 56) {
            if (m_ip < m_iend) {
                m_bitBuf |= std::uint64_t{*m_ip++} << m_bitCount;
            } else {
                m_phantom += 8;
            }
            m_bitCount += 8;
        }
    }
    std::uint64_t Bits() const { return m_bitBuf; }
    unsigned Take(unsigned n) {
        const unsigned value = static_cast<unsigned>(m_bitBuf & ((std::uint64_t{1} << n) - 1u));
        Drop(n);
        return value;
    }
    void Drop(unsigned n) {
        m_bitBuf >>= n;
        m_bitCount -= n;
    }
    bool Overrun() const { return m_bitCount < m_phantom; }
    // Input bytes up to the last bit taken: whole bytes still held were not used.
    std::size_t BytesUsed(const std::uint8_t* pbIn) const {
        return static_cast<std::size_t>(m_ip - pbIn) - (m_bitCount - m_phantom) / 8;
    }

private:
    const std::uint8_t* m_ip;
    const std::uint8_t* const m_iend;
    std::uint64_t m_bitBuf = 0;
    unsigned m_bitCount = 0;
    unsigned m_phantom = 0;
};

// A pair's length, after its 1 flag bit: a code of up to 7 bits from the
// fixed length code, then that symbol's extra bits as a plain value added to
// its base. Lengths run 2..518; kEndLength ends the stream. 0: no code.
inline unsigned ReadLength(BitReader& br) {
    const std::uint32_t entry = kLengthTable[(br.Bits() >> 1) & ((1u << kMaxLengthBits) - 1u)];
    if (entry == 0) return 0;
    br.Drop(1 + (entry >> 24));
    return (entry & 0xFFFFu) + br.Take((entry >> 16) & 0xFFu);
}

// A pair's distance: a code of up to 8 bits from the fixed distance code
// gives the high six bits, then the low bits follow plain: two for a pair of
// length 2, else the dictionary's bits (4, 5 or 6). Distances count back
// from the next byte out, starting at 1. 0: no code.
inline std::size_t ReadDistance(BitReader& br, unsigned len, unsigned dictBits) {
    const unsigned entry = kDistanceTable[br.Bits() & ((1u << kMaxDistanceBits) - 1u)];
    if (entry == 0) return 0;
    br.Drop(entry >> 8);
    const unsigned lowBits = len == 2 ? 2 : dictBits;
    return (std::size_t{entry & 0xFFu} << lowBits) + br.Take(lowBits) + 1;
}

// A literal, after its 0 flag bit: eight plain bits in literal mode 0, a
// code of up to 13 bits from the fixed literal code in mode 1. -1: no code.
inline int ReadLiteral(BitReader& br, unsigned literalMode) {
    if (literalMode == 0) {
        const int literal = static_cast<int>((br.Bits() >> 1) & 0xFFu);
        br.Drop(9);
        return literal;
    }
    const unsigned entry = kLiteralTable[(br.Bits() >> 1) & ((1u << kMaxLiteralBits) - 1u)];
    if (entry == 0) return -1;
    br.Drop(1 + (entry >> 8));
    return static_cast<int>(entry & 0xFFu);
}

// A pair's bytes: len bytes from dist back, where a distance below the
// length repeats the bytes being written (dist 1 repeats one byte). The
// caller has checked that dist stays within what was written and that len
// fits cbLeft, the room from op on.
inline void CopyMatch(std::uint8_t* op, std::size_t dist, unsigned len, std::size_t cbLeft) {
    const std::uint8_t* from = op - dist;
    if (dist >= 8 && cbLeft >= len + 8) {
        // Whole words: the source stays at least 8 bytes behind the target,
        // and the room has space for the overshoot.
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
}

}  // namespace

// The two header bytes (literal mode, dictionary bits), then symbols until
// the end code: each check is made where its value is used, in the order
// bad code, cut short, bad distance, output full.
int Explode(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
            std::size_t* pcbOut, std::size_t* pcbUsed) {
    *pcbOut = 0;
    if (cbIn < 1) return kImplodeTruncated;
    const unsigned literalMode = pbIn[0];
    if (literalMode > 1) return kImplodeBadLiteralMode;
    if (cbIn < 2) return kImplodeTruncated;
    const unsigned dictBits = pbIn[1];
    if (dictBits < 4 || dictBits > 6) return kImplodeBadDictionary;

    BitReader br(pbIn + 2, cbIn - 2);
    std::uint8_t* op = pbOut;
    std::uint8_t* const oend = pbOut + cbRoom;
    for (;;) {
        br.Refill();
        if (br.Bits() & 1u) {
            const unsigned len = ReadLength(br);
            if (len == 0) return kImplodeBadCode;
            if (len == kEndLength) break;
            const std::size_t dist = ReadDistance(br, len, dictBits);
            if (dist == 0) return kImplodeBadCode;
            if (br.Overrun()) return kImplodeTruncated;
            if (dist > static_cast<std::size_t>(op - pbOut)) return kImplodeBadDistance;
            if (len > static_cast<std::size_t>(oend - op)) return kImplodeOutputFull;
            CopyMatch(op, dist, len, static_cast<std::size_t>(oend - op));
            op += len;
        } else {
            const int literal = ReadLiteral(br, literalMode);
            if (literal < 0) return kImplodeBadCode;
            if (br.Overrun()) return kImplodeTruncated;
            if (op == oend) return kImplodeOutputFull;
            *op++ = static_cast<std::uint8_t>(literal);
        }
    }
    if (br.Overrun()) return kImplodeTruncated;
    *pcbOut = static_cast<std::size_t>(op - pbOut);
    if (pcbUsed != nullptr) *pcbUsed = br.BytesUsed(pbIn);
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

    void MakeRoomFor(std::size_t cbIn);
    void FindCheapestParse(const std::uint8_t* pbIn, std::uint32_t n, unsigned dictBits, bool bCoded);
    void PutSteps(BitWriter& bw, const std::uint8_t* pbIn, std::uint32_t n, unsigned dictBits, bool bCoded);
};

ImplodeEncoder::ImplodeEncoder() : m_pWork(new WorkArea) {}
ImplodeEncoder::~ImplodeEncoder() = default;

namespace {

// A literal: a 0 flag bit, then eight plain bits (mode 0) or the literal's
// code from the fixed literal code (mode 1), sent as the decoder reads it.
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

// A pair: the 1 flag bit with the length's code and extra bits (one table
// entry), then the distance less one: its high six bits as a code, its low
// bits plain (two for a pair of length 2, else the dictionary's bits).
inline void PutMatch(BitWriter& bw, unsigned len, unsigned dist, unsigned dictBits) {
    bw.Put(kLengthEncoding.value[len], kLengthEncoding.bits[len]);
    const unsigned lowBits = len == 2 ? 2 : dictBits;
    const unsigned d = dist - 1;
    const unsigned sym = d >> lowBits;
    const unsigned codeBits = kDistanceCode.len[sym];
    bw.Put(kDistanceCode.wire[sym] | ((d & ((1u << lowBits) - 1u)) << codeBits), codeBits + lowBits);
}

}  // namespace

// The hash tables hold positions offset by a base that moves on with each
// input; before it would pass its limit the tables are cleared and it starts
// again.
void ImplodeEncoder::WorkArea::MakeRoomFor(std::size_t cbIn) {
    if (base > kBaseLimit - cbIn - kBaseStep) {
        std::fill(head.begin(), head.end(), 0);
        std::fill(chain.begin(), chain.end(), 0);
        std::fill(pairHead.begin(), pairHead.end(), 0);
        base = kBaseStep;
    }
}

// The codes are fixed, so the price of every literal and pair is known in
// advance and the cheapest parse of the whole input can be found by a
// forward pass over the positions (price of reaching each position, and the
// step that reaches it). Pairs of length 2 reach back kPairWindow bytes,
// longer ones the whole dictionary (64 << dictBits bytes); a match of
// kNiceLength or more is taken as it comes.
void ImplodeEncoder::WorkArea::FindCheapestParse(const std::uint8_t* pbIn, std::uint32_t n, unsigned dictBits,
                                                 bool bCoded) {
    const std::uint32_t window = 64u << dictBits;
    std::uint32_t* const pHead = head.data();
    std::uint32_t* const pChain = chain.data();
    std::uint32_t* const pPairHead = pairHead.data();
    auto insert = [&](std::uint32_t pos) {
        if (pos + 3 <= n) {
            const std::uint32_t h = Hash3(pbIn + pos);
            pChain[(base + pos) & (kRingSize - 1)] = pHead[h];
            pHead[h] = base + pos;
        }
        if (pos + 2 <= n) pPairHead[Pair(pbIn + pos)] = base + pos;
    };

    price.assign(std::size_t{n} + 1, UINT32_MAX);
    stepLen.resize(std::size_t{n} + 1);
    stepDist.resize(std::size_t{n} + 1);
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
            const std::uint32_t cand = pPairHead[Pair(cur)];
            if (cand < absPos && absPos - cand <= kPairWindow) {
                const unsigned dist = absPos - cand;
                relax(pos + 2, base0 + MatchCost(2, dist, dictBits), 2, dist);
            }
        }
        unsigned bestLen = 2;
        unsigned bestDist = 0;
        if (limit >= 3) {
            std::uint32_t cand = pHead[Hash3(cur)];
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
                const std::uint32_t next = pChain[cand & (kRingSize - 1)];
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
}

// The parse read back from the end, then its steps sent in order: a step of
// length 1 is a literal, a longer one a pair; the end code closes the stream.
void ImplodeEncoder::WorkArea::PutSteps(BitWriter& bw, const std::uint8_t* pbIn, std::uint32_t n, unsigned dictBits,
                                        bool bCoded) {
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
}

// The two header bytes (literal mode, dictionary bits), then the cheapest
// parse's symbols and the end code, written where the caller's room holds
// the worst case, else into a spill block copied out when it fits.
int ImplodeEncoder::Compress(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
                             std::size_t* pcbOut, const ImplodeOptions& options) {
    *pcbOut = 0;
    const unsigned dictBits = options.dictBits;
    const bool bCoded = options.bCodedLiterals;
    if (dictBits < 4 || dictBits > 6) return kImplodeBadDictionary;
    WorkArea& w = *m_pWork;
    if (cbIn > kBaseLimit / 2) return kImplodeOutputFull;  // beyond any record the engine writes
    w.MakeRoomFor(cbIn);
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
    const std::uint32_t n = static_cast<std::uint32_t>(cbIn);
    w.FindCheapestParse(pbIn, n, dictBits, bCoded);
    w.PutSteps(bw, pbIn, n, dictBits, bCoded);
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

// Bounds-checked little-endian reading over a byte view.
//
// Every read of file bytes in the engine goes through ByteReader: a read
// that would run past the end yields zeros and sets a sticky failure flag,
// so a run of reads is checked once at the end. Sizes that come from the
// file are combined with the overflow-checked helpers below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace docengine {

// a * b and a + b, false when the result does not fit 64 bits.
inline bool CheckedMul(std::uint64_t a, std::uint64_t b, std::uint64_t* pResult) {
    if (a != 0 && b > UINT64_MAX / a) return false;
    *pResult = a * b;
    return true;
}
inline bool CheckedAdd(std::uint64_t a, std::uint64_t b, std::uint64_t* pResult) {
    if (b > UINT64_MAX - a) return false;
    *pResult = a + b;
    return true;
}

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const void* pData, std::size_t cbData) : m_pData(static_cast<const std::uint8_t*>(pData)), m_cbData(cbData) {}

    bool Ok() const { return !m_bFailed; }
    std::size_t Size() const { return m_cbData; }
    std::size_t Position() const { return m_pos; }
    std::size_t Remaining() const { return m_cbData - m_pos; }

    // Moves to an absolute position inside the view; beyond it fails.
    void Seek(std::size_t pos) {
        if (pos > m_cbData) {
            m_bFailed = true;
            m_pos = m_cbData;
        } else {
            m_pos = pos;
        }
    }
    void Skip(std::size_t cb) {
        if (!Take(cb)) return;
        m_pos += cb;
    }

    std::uint8_t U8() {
        if (!Take(1)) return 0;
        return m_pData[m_pos++];
    }
    std::uint16_t U16() {
        if (!Take(2)) return 0;
        const std::uint16_t v = static_cast<std::uint16_t>(m_pData[m_pos] | (m_pData[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::uint32_t U32() {
        if (!Take(4)) return 0;
        const std::uint8_t* p = m_pData + m_pos;
        m_pos += 4;
        return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    }
    // Copies cb bytes; on failure the destination is zero-filled.
    void Bytes(void* pDest, std::size_t cb) {
        if (!Take(cb)) {
            if (cb != 0) std::memset(pDest, 0, cb);
            return;
        }
        if (cb != 0) std::memcpy(pDest, m_pData + m_pos, cb);
        m_pos += cb;
    }

    // A reader over the next cb bytes, which this reader steps over. Fails
    // (and returns an empty, failed reader) when they are not all there.
    ByteReader Sub(std::size_t cb) {
        if (!Take(cb)) {
            ByteReader empty;
            empty.m_bFailed = true;
            return empty;
        }
        ByteReader sub(m_pData + m_pos, cb);
        m_pos += cb;
        return sub;
    }
    // A reader over [offset, offset + cb) of this view, position unchanged.
    ByteReader At(std::size_t offset, std::size_t cb) const {
        if (offset > m_cbData || cb > m_cbData - offset) {
            ByteReader empty;
            empty.m_bFailed = true;
            return empty;
        }
        return ByteReader(m_pData + offset, cb);
    }
    // The unread rest as a pointer, for handing whole blocks to the codec.
    const std::uint8_t* Current() const { return m_pData + m_pos; }

private:
    bool Take(std::size_t cb) {
        if (m_bFailed || cb > m_cbData - m_pos) {
            m_bFailed = true;
            return false;
        }
        return true;
    }

    const std::uint8_t* m_pData = nullptr;
    std::size_t m_cbData = 0;
    std::size_t m_pos = 0;
    bool m_bFailed = false;
};

// Little-endian stores into a block the engine owns (headers, entries).
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    PutU16(p, static_cast<std::uint16_t>(v));
    PutU16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace docengine

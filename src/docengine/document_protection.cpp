// Protection. The 40-byte password block is folded into an 8-byte key by
// a 64-bit FNV-1a pass followed by a murmur-style finaliser, so every byte
// of the block moves every key byte. The check block stored in the record
// is the engine's fixed comparison block xor the key, repeated; the fixed
// block is a byte sequence from a small linear congruential generator.
#include <array>
#include <vector>

#include "docengine/byte_reader.h"
#include "docengine/document_file.h"
#include "docengine/document_file_detail.h"

namespace docengine {
namespace {

std::array<std::uint8_t, 8> DeriveKey(const PasswordBlock& password) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : password.ab) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    std::array<std::uint8_t, 8> key{};
    for (std::size_t i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(h >> (8 * i));
    return key;
}

constexpr std::array<std::uint8_t, 256> MakeComparisonBlock() {
    std::array<std::uint8_t, 256> block{};
    std::uint32_t x = 0x5EED1E55u;
    for (std::size_t i = 0; i < block.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        block[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return block;
}
constexpr std::array<std::uint8_t, 256> kComparisonBlock = MakeComparisonBlock();

}  // namespace

using detail::Invalid;

std::array<std::uint8_t, 256> MakeProtectionCheckBlock(const PasswordBlock& password) {
    const auto key = DeriveKey(password);
    std::array<std::uint8_t, 256> block{};
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = kComparisonBlock[i] ^ key[i % 8];
    return block;
}

void DocumentFile::CheckProtection() {
    std::vector<std::uint8_t> payload;
    std::uint16_t flags = 0;
    const std::size_t cb = ReadRecord(kKindProtection, m_header.dwProtectionOffset, payload, kWholePayload, &flags);
    if (flags & kRecordCompressed) Invalid("compressed protection record");
    if (cb < 260) Invalid("protection record too short");
    ByteReader r(payload.data(), cb);
    if (!(r.U32() & 1u)) Invalid("protection flags");
    if (!m_password) ThrowLibraryError(LIBERR_BAD_PASSWORD, "document is protected");
    const auto key = DeriveKey(*m_password);
    for (std::size_t i = 0; i < 256; ++i) {
        if ((r.U8() ^ key[i % 8]) != kComparisonBlock[i]) ThrowLibraryError(LIBERR_BAD_PASSWORD, "wrong password");
    }
}

}  // namespace docengine

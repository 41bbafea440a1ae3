// What the parts of the container code share: how they fail, and the small
// readers of the fields every record layout has. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "docengine/byte_reader.h"
#include "docengine/document_file.h"
#include "suite/library_error.h"

namespace docengine {
namespace detail {

[[noreturn]] inline void Invalid(const char* pszWhat) { ThrowLibraryError(LIBERR_INVALID_DATA, pszWhat); }
[[noreturn]] inline void NotADocument(const char* pszWhat) { ThrowLibraryError(LIBERR_BAD_FORMAT, pszWhat); }
[[noreturn]] inline void BadState(const char* pszWhat) { ThrowLibraryError(LIBERR_BAD_ARGUMENT, pszWhat); }

inline bool InRange(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v >= lo && v <= hi; }

inline std::uint32_t RoundUp4(std::uint64_t v) { return static_cast<std::uint32_t>((v + 3) & ~std::uint64_t{3}); }

inline TimeStamp ReadTimeStamp(ByteReader& r) {
    TimeStamp ts;
    ts.bSecond = r.U8();
    ts.bMinute = r.U8();
    ts.bHour = r.U8();
    ts.bDay = r.U8();
    ts.bMonth = r.U8();
    ts.bYear = r.U8();
    ts.bDayOfWeek = r.U8();
    r.Skip(3);
    return ts;
}

inline void ReadText(ByteReader& r, char* psz, std::size_t cb) {
    r.Bytes(psz, cb);
    psz[cb - 1] = '\0';  // the engine hands texts out as C strings
}

}  // namespace detail
}  // namespace docengine

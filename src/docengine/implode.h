// The implode codec of the document engine: the dictionary-coded stream
// format used for compressed record payloads.
//
// Stream layout: byte 0 is the literal mode (0 = literals stored as plain
// 8-bit values, 1 = literals Huffman coded), byte 1 is the number of low
// distance bits (4, 5 or 6, i.e. a dictionary of 1024, 2048 or 4096 bytes).
// Then a bit stream, least significant bit first: a 0 bit starts a literal,
// a 1 bit a length/distance pair. Lengths run 2..518; the length 519 ends
// the stream. Huffman codes are canonical and sent bit-inverted, most
// significant bit first; extra bits are sent as plain little-endian values.
//
// Result codes (blast style: negative for bad data, positive for limits):
//
//   kImplodeOk             0   complete stream, output written
//   kImplodeOutputFull     1   output would not fit the room given
//   kImplodeBadLiteralMode -1  first byte neither 0 nor 1
//   kImplodeBadDictionary  -2  second byte not 4, 5 or 6
//   kImplodeBadDistance    -3  a distance reaches before the first byte
//   kImplodeTruncated      -4  input ended before the end code
//   kImplodeBadCode        -5  a bit pattern that is no code
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace docengine {

enum ImplodeResult : int {
    kImplodeOk = 0,
    kImplodeOutputFull = 1,
    kImplodeBadLiteralMode = -1,
    kImplodeBadDictionary = -2,
    kImplodeBadDistance = -3,
    kImplodeTruncated = -4,
    kImplodeBadCode = -5,
};

// Largest input the document writer hands to one stream.
constexpr std::size_t kImplodeChunkMax = 65536;

// Worst-case stream size for n input bytes: header, 9 bits per byte (no
// symbol costs more per byte than a plain literal), end code, last byte.
constexpr std::size_t ImplodeBound(std::size_t cbInput) { return 2 + (cbInput * 9 + 7) / 8 + 3; }

// Expands one stream. On kImplodeOk *pcbOut is the expanded length and
// *pcbUsed (when given) the input bytes up to the end code's last byte.
// Never reads outside [pbIn, pbIn + cbIn) nor writes outside
// [pbOut, pbOut + cbRoom); bytes of the room behind *pcbOut may be touched.
int Explode(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
            std::size_t* pcbOut, std::size_t* pcbUsed = nullptr);

// Stream options. The engine writes binary literals and a 4096-byte
// dictionary; the other forms exist so every form a reader meets can be made.
struct ImplodeOptions {
    bool bCodedLiterals = false;  // literal mode 1
    unsigned dictBits = 6;        // 4, 5 or 6
};

// Writes binary-mode streams with a 4096-byte dictionary. The object keeps
// its hash tables between calls, so reuse one for many chunks; it is not
// shared between threads.
class ImplodeEncoder {
public:
    ImplodeEncoder();
    ~ImplodeEncoder();
    ImplodeEncoder(const ImplodeEncoder&) = delete;
    ImplodeEncoder& operator=(const ImplodeEncoder&) = delete;

    // kImplodeOk with *pcbOut set, or kImplodeOutputFull when the stream
    // does not fit cbRoom (nothing beyond cbRoom is written).
    int Compress(const std::uint8_t* pbIn, std::size_t cbIn, std::uint8_t* pbOut, std::size_t cbRoom,
                 std::size_t* pcbOut, const ImplodeOptions& options = ImplodeOptions{});

private:
    struct WorkArea;
    std::unique_ptr<WorkArea> m_pWork;
};

}  // namespace docengine

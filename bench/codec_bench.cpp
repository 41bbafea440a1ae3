// Measures the engine's implode codec against the reference library on the
// same 65536-byte chunks of the files given, checking every round trip.
//
// usage: codec_bench <file>...
// The last line reads: speedup decode=D encode=E size=S
//   D, E: the engine's MB/s over the reference library's; S: the engine's
//   compressed bytes over the reference library's, on the corpus total.
#include <StormLib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "docengine/doc_stream.h"
#include "docengine/implode.h"
#include "suite/library_error.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 65536;
constexpr int kRounds = 3;  // best of three per chunk smooths out scheduling noise

struct Totals {
    std::size_t cbInput = 0;
    std::size_t cbOurs = 0, cbRef = 0;
    double ourEncode = 0, ourDecode = 0, refEncode = 0, refDecode = 0;
};

template <class F>
double BestSeconds(F&& f) {
    double best = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

bool RunChunk(const std::uint8_t* pb, std::size_t cb, docengine::ImplodeEncoder& encoder, Totals& t) {
    std::vector<std::uint8_t> ours(docengine::ImplodeBound(cb) + 16), ref(cb * 2 + 1024);
    std::vector<std::uint8_t> back(std::max(cb, ref.size()) + 64);
    std::size_t cbOurs = 0;
    int cbRef = 0;
    bool bOk = true;
    t.ourEncode += BestSeconds([&] { bOk &= encoder.Compress(pb, cb, ours.data(), ours.size(), &cbOurs) == docengine::kImplodeOk; });
    t.refEncode += BestSeconds([&] {
        cbRef = static_cast<int>(ref.size());
        bOk &= SCompImplode(ref.data(), &cbRef, const_cast<std::uint8_t*>(pb), static_cast<int>(cb)) == 1;
    });
    if (!bOk) return false;
    std::size_t cbBack = 0;
    t.ourDecode += BestSeconds([&] { bOk &= docengine::Explode(ours.data(), cbOurs, back.data(), cb, &cbBack) == docengine::kImplodeOk; });
    if (!bOk || cbBack != cb || std::memcmp(back.data(), pb, cb) != 0) return false;
    int cbRefBack = 0;
    // The reference decoder wants a room at least as large as its input.
    t.refDecode += BestSeconds([&] {
        cbRefBack = static_cast<int>(back.size());
        bOk &= SCompExplode(back.data(), &cbRefBack, ref.data(), cbRef) == 1;
    });
    if (!bOk || static_cast<std::size_t>(cbRefBack) != cb || std::memcmp(back.data(), pb, cb) != 0) return false;
    t.cbInput += cb;
    t.cbOurs += cbOurs;
    t.cbRef += static_cast<std::size_t>(cbRef);
    return true;
}

void Print(const char* pszName, const Totals& t) {
    const double mb = static_cast<double>(t.cbInput) / 1e6;
    std::printf("%-28s %10zu  engine ratio %.4f comp %7.1f MB/s decomp %7.1f MB/s | reference ratio %.4f comp %7.1f MB/s decomp %7.1f MB/s\n",
                pszName, t.cbInput, static_cast<double>(t.cbOurs) / static_cast<double>(t.cbInput), mb / t.ourEncode,
                mb / t.ourDecode, static_cast<double>(t.cbRef) / static_cast<double>(t.cbInput), mb / t.refEncode,
                mb / t.refDecode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: codec_bench <file>...\n");
        return 2;
    }
    docengine::ImplodeEncoder encoder;
    Totals all;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::uint8_t> bytes;
        if (RunLibraryFacade([&] { bytes = docengine::ReadWholeFile(argv[i]); }) != LIBERR_OK) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        Totals file;
        for (std::size_t off = 0; off < bytes.size(); off += kChunk) {
            const std::size_t cb = std::min(kChunk, bytes.size() - off);
            if (!RunChunk(bytes.data() + off, cb, encoder, file)) {
                std::fprintf(stderr, "round trip failed: %s at %zu\n", argv[i], off);
                return 1;
            }
        }
        if (file.cbInput == 0) continue;
        std::string name = argv[i];
        if (name.size() > 28) name = "..." + name.substr(name.size() - 25);
        Print(name.c_str(), file);
        all.cbInput += file.cbInput;
        all.cbOurs += file.cbOurs;
        all.cbRef += file.cbRef;
        all.ourEncode += file.ourEncode;
        all.ourDecode += file.ourDecode;
        all.refEncode += file.refEncode;
        all.refDecode += file.refDecode;
    }
    if (all.cbInput == 0) return 1;
    Print("total", all);
    std::printf("speedup decode=%.2f encode=%.2f size=%.4f\n", all.refDecode / all.ourDecode, all.refEncode / all.ourEncode,
                static_cast<double>(all.cbOurs) / static_cast<double>(all.cbRef));
    return 0;
}

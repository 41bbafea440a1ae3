// Helpers shared by the engine tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "docengine/docengine.h"
#include "doctool/set_builder.h"
#include "suite/library_error.h"

namespace testing_support {

// The library code an operation ends with (0 when it completes).
inline LibraryErrorCode CodeOf(std::function<void()> operation) { return RunLibraryFacade(std::move(operation)); }

inline std::unique_ptr<docengine::DocumentFile> OnBytes(const std::vector<std::uint8_t>& bytes) {
    return std::make_unique<docengine::DocumentFile>(
        std::make_unique<docengine::MemoryStream>(docengine::MemoryStream::Borrow(bytes.data(), bytes.size())));
}

inline LibraryErrorCode OpenCode(const std::vector<std::uint8_t>& bytes,
                                 const docengine::PasswordBlock* pPassword = docengine::SkipProtectionCheck()) {
    auto doc = OnBytes(bytes);
    return CodeOf([&] { doc->OpenDocument(pPassword); });
}

// A deterministic corpus of the kinds of data the engine meets: text,
// source-like text, structured binary, sparse and random bytes.
struct CorpusItem {
    std::string strName;
    std::vector<std::uint8_t> bytes;
};
std::vector<CorpusItem> MakeCorpus();

}  // namespace testing_support

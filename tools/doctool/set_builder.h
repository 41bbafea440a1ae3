// Building document set containers: one container document whose entry
// table lists the embedded documents by slot. The tool packs distributor
// sets with it, and tests make their sets with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "doctool/document_builder.h"

namespace docengine {

struct SetInformationDescription {
    std::uint16_t wSetNumber = 0;
    TimeStamp tsSetDate;
    std::uint16_t wSetValue16 = 0;
    std::uint32_t dwSetValue32 = 0;
    std::string strText1, strText2;  // at most 31 characters each
    std::string strText3;            // at most 15 characters
    std::string strText4;            // at most 9 characters
    bool bLongForm = true;           // 110 bytes with the third and fourth text, else 84
};

struct SetDescription {
    std::uint32_t dwTag = 0;
    std::optional<SetInformationDescription> info;
    // The embedded documents by slot (all 25 entry-table slots); empty: none.
    std::array<std::vector<std::uint8_t>, 25> aSlots;
    // The container itself; without pages it gets one blank page.
    DocumentDescription container;
};

// The container's bytes. Raises LIBERR_BAD_ARGUMENT for an embedded block
// that is not a whole number of 4-byte words or a text too long.
std::vector<std::uint8_t> BuildDocumentSet(const SetDescription& description);

// The menu-table text of slot 22 from its tokens: the tokens joined by
// single 0x01 bytes.
std::string JoinMenuTokens(const std::vector<std::string>& tokens);

}  // namespace docengine

// Building whole documents from a plain description: what the command-line
// tool writes, and what tests and the fuzz seeds start from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "docengine/document_file.h"

namespace docengine {

struct PageDescription {
    std::string strText1;  // first page text (kind 44); empty: none
    std::string strText2;  // second page text (kind 79); empty: none
    std::uint16_t wWidth = 1728;   // dots at the document resolution
    std::uint16_t wHeight = 2200;
};

struct DocumentDescription {
    std::string strText1, strText2, strText3;  // header texts, at most 31 characters each
    std::uint16_t wFlags = 0;
    std::uint16_t wResolutionX = 200;
    std::uint16_t wResolutionY = 200;
    bool bCompress = false;  // page table, table A, page data and texts as compressed records
    std::optional<PasswordBlock> password;
    std::optional<TimeStamp> date;  // the document's date (second time stamp); none: now
    std::vector<PageDescription> pages;
};

// The document's bytes. Raises LIBERR_BAD_ARGUMENT for a description that
// cannot make a valid document (no pages, a zero size, a text too long).
std::vector<std::uint8_t> BuildDocument(const DocumentDescription& description);

// hostBytes followed by the framed document: "RI01", the document, "RI01",
// and the document length + 12.
std::vector<std::uint8_t> BuildAppendedDocument(std::vector<std::uint8_t> hostBytes,
                                                const DocumentDescription& description);

// A password block from a text: the text's bytes, zero-filled to 40.
PasswordBlock PasswordFromText(const std::string& strPassword);

}  // namespace docengine

// Document sets: a small table of documents that travel together, loaded from
// one container whose entry table lists the embedded documents. The menu
// items of a distributor are carried this way (slot 22 holds the document
// whose page text is the menu table).
//
// Every operation that can fail is a facade operation: it returns a library
// error code (0 for success) and lets nothing escape.
#pragma once

#include <cstddef>
#include <cstdint>

#include "docengine/document_file.h"
#include "suite/library_error.h"

namespace docengine {

// A document handle: a magic number, then the open document. The object
// behind the pointer belongs to the engine.
struct DocumentHandleRecord;
using DocumentHandle = DocumentHandleRecord*;

constexpr std::uint32_t kDocumentHandleMagic = 0x21436587u;
constexpr std::uint32_t kPageCursorMagic = 0x76300871u;

constexpr std::size_t kSetSlots = 25;       // slots 0..24 of a set
constexpr std::size_t kLoadableSlots = 24;  // slot 24 is never loaded
constexpr std::uint32_t kMenuTableSlot = 22;

// Word 0 the set tag (0 = none), words 1..25 the slots 0..24. The caller
// owns the set; it owns the documents in its slots. On 64-bit builds the
// slots are pointer-sized.
struct DocumentSet {
    std::uint32_t dwTag;
    DocumentHandle ahSlots[kSetSlots];
};

#pragma pack(push, 1)
struct DocumentInfo {
    std::uint32_t bProtected;        // the header has a protection record
    std::uint32_t bHasSetInfo;       // entry table and set information read
    std::uint32_t bFlag8;            // document flag 0x8
    std::uint32_t bHasEntries;       // the entry table lists a document
    std::uint32_t bSetDocument;      // set information, flag 0x8, or a ".qvd" file
    std::uint32_t bFlag200;          // document flag 0x200
    std::uint32_t dwVersion;
    std::uint32_t dwPageCount;
    std::uint32_t dwFlags;
    std::uint32_t dwResolutionY;
    std::uint32_t dwResolutionX;
    std::uint32_t dwLength;
    char szText1[32];
    char szText2[32];
    char szText3[32];
    std::uint8_t abFirstStamp[6];    // second, minute, hour, day, month, year - 1900
    std::uint8_t abDate[6];          // the document's date, same form
    std::uint32_t dwSetNumber;
    std::uint8_t abSetDate[6];
    std::uint32_t dwSetValue16;
    std::uint32_t dwSetValue32;
    char szSetText1[32];
    char szSetText2[32];
    char szSetText3[16];
    char szSetText4[10];
};
#pragma pack(pop)
static_assert(sizeof(DocumentInfo) == 264, "the information record is packed without gaps");

// The parsed menu table of slot 22. Menu text and command are both null for
// a separator. The strings live in the engine's shared scratch block and stay
// valid until the next GetMenuTable call.
constexpr std::uint32_t kMenuTableEntries = 10;
struct OemMenuItem {
    const char* pszText;
    const char* pszCommand;
};
struct OemMenuTable {
    const char* pszTitleText;
    const char* pszTitleCommand;
    std::uint32_t dwCount;
    OemMenuItem aItems[kMenuTableEntries];
};

LibraryErrorCode OpenDocumentFromMemory(const void* pBytes, std::size_t cbBytes, bool bCopy,
                                        const PasswordBlock* pPassword, DocumentHandle* phDocument);
LibraryErrorCode CloseDocument(DocumentHandle hDocument);

void InitDocumentSet(std::uint32_t dwTag, DocumentSet* pSet);
LibraryErrorCode LoadDocumentSet(const void* pBytes, std::size_t cbBytes, DocumentSet* pSet);
// pszFileName: read the document from this file instead of the bytes.
// pText: the page text given to a GIF image that is wrapped into a document.
LibraryErrorCode LoadSetEntry(DocumentSet* pSet, std::uint32_t nSlot, const void* pBytes, std::size_t cbBytes,
                              const char* pszFileName, const char* pText, std::size_t cbText = 0);
LibraryErrorCode MergeDocumentSets(DocumentSet* pSource, DocumentSet* pTarget, bool* pbChanged,
                                   std::uint32_t* pdwTag);
LibraryErrorCode LoadAndMergeDocumentSet(const void* pBytes, std::size_t cbBytes, DocumentSet* pTarget,
                                         bool* pbChanged, std::uint32_t* pdwTag);
LibraryErrorCode FreeDocumentSet(DocumentSet* pSet);
LibraryErrorCode FreeSetEntry(DocumentSet* pSet, std::uint32_t nSlot);
DocumentHandle GetSetEntry(const DocumentSet* pSet, std::uint32_t nSlot, std::uint32_t* pdwPageCount = nullptr);
LibraryErrorCode GetDocumentInfo(DocumentHandle hDocument, DocumentInfo* pInfo);
// nPage counts from 1 in page-table order. No text record: null and 0.
LibraryErrorCode GetPageText(DocumentHandle hDocument, std::uint32_t nPage, bool bSecond, const char** ppText,
                             std::size_t* pcchText);
// Slot 22 empty: *ppTable = null and 0.
LibraryErrorCode GetMenuTable(const DocumentSet* pSet, OemMenuTable** ppTable);
LibraryErrorCode OpenBlankDocument(DocumentHandle* phDocument);

// The menu-table grammar on its own: parses the NUL-terminated text in
// place (separators are overwritten) into *pTable.
void ParseMenuTable(char* pszText, OemMenuTable* pTable);

// True for bytes that pass the GIF test: a signature GIF87a or GIF89a, at
// least 14 bytes, and a screen width and height above 0.
bool IsGifImage(const void* pBytes, std::size_t cbBytes);

// The blank template comes from the platform (on Windows a resource of the
// executable). The provider returns false, or an empty block, when there is
// none; the bytes must stay valid while the engine runs.
using BlankTemplateProvider = bool (*)(const void** ppBytes, std::size_t* pcbBytes);
void SetBlankTemplateProvider(BlankTemplateProvider pfnProvider);

// Gives back the shared scratch block of the menu table (the library's stop).
void ReleaseSharedScratch();

// Live objects of the engine, for leak checks.
std::size_t CountLiveDocuments();
std::size_t CountLiveHandles();

}  // namespace docengine

#include "docengine/document_set.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "docengine/byte_reader.h"
#include "docengine/doc_stream.h"
#include "platform/no_destructor.h"

namespace docengine {

// ---- handles ---------------------------------------------------------------

namespace {

std::size_t g_cLiveDocuments = 0;
std::size_t g_cLiveHandles = 0;
BlankTemplateProvider g_pfnBlankTemplate = nullptr;

}  // namespace

struct PageCursor {
    DocumentHandle hDocument;
    std::uint32_t dwPageCount;
    std::int32_t nCurrentPage;  // 0, or -1 for a document of fewer than 2 pages
};

struct PageCursorRecord {
    std::uint32_t dwMagic;
    PageCursor* pCursor;
};

// What a document handle points at: the open container and what the set
// operations keep beside it.
struct OpenDocumentState {
    std::unique_ptr<DocumentFile> pFile;
    std::string strFileName;  // the file it was read from, if any
    PageCursorRecord* pCursorHandle = nullptr;
    // Page texts read once and kept with their page: [first/second][page].
    std::vector<std::optional<std::vector<std::uint8_t>>> aTexts[2];

    OpenDocumentState() { ++g_cLiveDocuments; }
    ~OpenDocumentState() {
        if (pCursorHandle != nullptr) {
            delete pCursorHandle->pCursor;
            pCursorHandle->dwMagic = 0;
            delete pCursorHandle;
            --g_cLiveHandles;
        }
        --g_cLiveDocuments;
    }
    OpenDocumentState(const OpenDocumentState&) = delete;
    OpenDocumentState& operator=(const OpenDocumentState&) = delete;
};

struct DocumentHandleRecord {
    std::uint32_t dwMagic;
    OpenDocumentState* pDocument;
};

namespace {

std::uint16_t U16At(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32At(const std::uint8_t* p) { return U16At(p) | (std::uint32_t{U16At(p + 2)} << 16); }

[[noreturn]] void BadArgument(const char* pszWhat) { ThrowLibraryError(LIBERR_BAD_ARGUMENT, pszWhat); }
[[noreturn]] void Invalid(const char* pszWhat) { ThrowLibraryError(LIBERR_INVALID_DATA, pszWhat); }

void DestroyHandle(DocumentHandle hDocument) {
    delete hDocument->pDocument;
    hDocument->dwMagic = 0;
    hDocument->pDocument = nullptr;
    delete hDocument;
    --g_cLiveHandles;
}

struct HandleCloser {
    void operator()(DocumentHandleRecord* h) const { DestroyHandle(h); }
};
using OwnedHandle = std::unique_ptr<DocumentHandleRecord, HandleCloser>;

OpenDocumentState& Checked(DocumentHandle hDocument) {
    if (hDocument == nullptr || hDocument->dwMagic != kDocumentHandleMagic || hDocument->pDocument == nullptr) {
        BadArgument("not a document handle");
    }
    return *hDocument->pDocument;
}

OwnedHandle OpenFromMemory(const void* pBytes, std::size_t cbBytes, bool bCopy, const PasswordBlock* pPassword) {
    if (pBytes == nullptr && cbBytes != 0) BadArgument("no bytes");
    std::unique_ptr<DocStream> pStream;
    if (bCopy) {
        const auto* pb = static_cast<const std::uint8_t*>(pBytes);
        pStream = std::make_unique<MemoryStream>(std::vector<std::uint8_t>(pb, pb + cbBytes));
    } else {
        pStream = std::make_unique<MemoryStream>(MemoryStream::Borrow(pBytes, cbBytes));
    }
    auto pState = std::make_unique<OpenDocumentState>();
    pState->pFile = std::make_unique<DocumentFile>(std::move(pStream));
    pState->pFile->OpenDocument(pPassword);
    const std::size_t cPages = pState->pFile->Pages().size();
    pState->aTexts[0].resize(cPages);
    pState->aTexts[1].resize(cPages);
    auto* pRecord = new DocumentHandleRecord{kDocumentHandleMagic, pState.release()};
    ++g_cLiveHandles;
    return OwnedHandle(pRecord);
}

// A document of several pages gets a page cursor when it joins a set.
void PrepareForSet(DocumentHandle hDocument) {
    OpenDocumentState& state = Checked(hDocument);
    const std::size_t cPages = state.pFile->Pages().size();
    if (cPages <= 1 || state.pCursorHandle != nullptr) return;
    auto pCursor = std::make_unique<PageCursor>(PageCursor{hDocument, static_cast<std::uint32_t>(cPages), 0});
    state.pCursorHandle = new PageCursorRecord{kPageCursorMagic, pCursor.release()};
    ++g_cLiveHandles;
}

OwnedHandle OpenBlank() {
    const void* pBytes = nullptr;
    std::size_t cbBytes = 0;
    if (g_pfnBlankTemplate == nullptr || !g_pfnBlankTemplate(&pBytes, &cbBytes) || pBytes == nullptr || cbBytes == 0) {
        BadArgument("no blank template");
    }
    return OpenFromMemory(pBytes, cbBytes, true, nullptr);
}

constexpr std::uint16_t kImageResolution = 300;

std::uint16_t ClampedSize(std::uint16_t v) { return std::min<std::uint16_t>(std::max<std::uint16_t>(v, 1), 32767); }

// A GIF image as a one-page document made from the blank template: the image
// is the page's data at 300 dpi, one pixel a dot, the caller's text (if any)
// the page's first text.
std::vector<std::uint8_t> WrapGifImage(const std::uint8_t* pbImage, std::size_t cbImage, const char* pText,
                                       std::size_t cbText) {
    OwnedHandle hBlank = OpenBlank();
    const DocumentHeader& blank = hBlank->pDocument->pFile->Header();

    auto* pStream = new MemoryStream();
    DocumentFile doc{std::unique_ptr<DocStream>(pStream)};
    doc.InitHeader(blank.wFlags);
    DocumentHeader& h = doc.Header();
    std::memcpy(h.szText1, blank.szText1, sizeof h.szText1);
    std::memcpy(h.szText2, blank.szText2, sizeof h.szText2);
    std::memcpy(h.szText3, blank.szText3, sizeof h.szText3);
    h.szText1[31] = h.szText2[31] = h.szText3[31] = '\0';
    h.wResolutionX = h.wResolutionY = kImageResolution;
    h.wPageCount = h.wHighestPage = 1;
    doc.WriteDocumentStart(0);

    const std::size_t cbPageText = pText != nullptr ? std::min<std::size_t>(cbText, 32767) : 0;
    if (cbPageText != 0) {
        // A page with a text refers to a text run of table A; one empty run serves.
        const std::uint8_t abRun[8] = {8, 0, 0, 0, 0, 0, 0, 0};
        h.dwTableAOffset = doc.WriteRecord(kKindTableA, kNoOffset, false, abRun, sizeof abRun);
        h.wCountA = 1;
    }

    PageEntry e;
    e.wWidth = ClampedSize(U16At(pbImage + 6));
    e.wHeight = ClampedSize(U16At(pbImage + 8));
    e.rcFirst[2] = e.rcSecond[2] = static_cast<std::int16_t>(e.wWidth);
    e.rcFirst[3] = e.rcSecond[3] = static_cast<std::int16_t>(e.wHeight);
    e.wPageNumber = 1;
    e.wResolutionX = e.wResolutionY = kImageResolution;
    e.dwDataOffset = doc.WriteRecord(kKindPageData, kNoOffset, false, pbImage, cbImage);
    if (cbPageText != 0) {
        std::vector<std::uint8_t> payload(2 + cbPageText);
        PutU16(payload.data(), static_cast<std::uint16_t>(cbPageText));
        std::memcpy(payload.data() + 2, pText, cbPageText);
        e.dwTextOffset = doc.WriteRecord(kKindPageText, kNoOffset, false, payload.data(), payload.size());
    }
    h.wLargestWidth = e.wWidth;
    h.wLargestHeight = e.wHeight;

    std::uint8_t table[2 + kWrittenPageEntrySize];
    PutU16(table, kWrittenPageEntrySize);
    std::uint8_t block[kPageStoreSize];
    e.Serialize(block);
    std::memcpy(table + 2, block, kWrittenPageEntrySize);
    h.dwPageTableOffset = doc.WriteRecord(kKindPageTable, kNoOffset, false, table, sizeof table);

    const std::uint64_t end = pStream->Tell();
    doc.WriteDocumentStart(doc.DocumentLength());
    pStream->Seek(end);
    return pStream->TakeBytes();
}

void LoadEntry(DocumentSet* pSet, std::uint32_t nSlot, const void* pBytes, std::size_t cbBytes,
               const char* pszFileName, const char* pText, std::size_t cbText) {
    if (pSet == nullptr || nSlot >= kLoadableSlots) BadArgument("set slot");
    std::vector<std::uint8_t> fileBytes;
    const auto* pb = static_cast<const std::uint8_t*>(pBytes);
    std::size_t cb = cbBytes;
    if (pszFileName != nullptr) {
        fileBytes = ReadWholeFile(pszFileName);
        pb = fileBytes.data();
        cb = fileBytes.size();
    }
    std::vector<std::uint8_t> wrapped;
    if (IsGifImage(pb, cb)) {
        if (pText != nullptr && cbText == 0) cbText = std::strlen(pText);
        wrapped = WrapGifImage(pb, cb, pText, cbText);
        pb = wrapped.data();
        cb = wrapped.size();
    }
    OwnedHandle hNew = OpenFromMemory(pb, cb, true, nullptr);
    if (pszFileName != nullptr) hNew->pDocument->strFileName = pszFileName;
    PrepareForSet(hNew.get());
    DocumentHandle hOld = pSet->ahSlots[nSlot];
    pSet->ahSlots[nSlot] = hNew.release();
    if (hOld != nullptr && hOld->dwMagic == kDocumentHandleMagic) DestroyHandle(hOld);
}

void FreeSlots(DocumentSet& set) {
    for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
        DocumentHandle h = set.ahSlots[i];
        set.ahSlots[i] = nullptr;
        if (h != nullptr && h->dwMagic == kDocumentHandleMagic) DestroyHandle(h);
    }
}

// Closes what a half-loaded set holds unless the load went through.
class SetGuard {
public:
    explicit SetGuard(DocumentSet* pSet) : m_pSet(pSet) {}
    ~SetGuard() {
        if (m_pSet != nullptr) FreeSlots(*m_pSet);
    }
    void Release() { m_pSet = nullptr; }
    SetGuard(const SetGuard&) = delete;
    SetGuard& operator=(const SetGuard&) = delete;

private:
    DocumentSet* m_pSet;
};

// The four groups of slots that a merge replaces as a whole; -1 for a slot
// that stands alone.
int SlotGroup(std::uint32_t nSlot) {
    if (nSlot >= 3 && nSlot <= 7) return 0;
    if (nSlot >= 8 && nSlot <= 9) return 1;
    if (nSlot >= 12 && nSlot <= 16) return 2;
    if (nSlot >= 17 && nSlot <= 21) return 3;
    return -1;
}

bool IsLater(const TimeStamp& a, const TimeStamp& b) {
    const std::uint8_t ka[] = {a.bYear, a.bMonth, a.bDay, a.bHour, a.bMinute, a.bSecond};
    const std::uint8_t kb[] = {b.bYear, b.bMonth, b.bDay, b.bHour, b.bMinute, b.bSecond};
    return std::lexicographical_compare(kb, kb + 6, ka, ka + 6);
}

void CopyStamp(std::uint8_t (&ab)[6], const TimeStamp& ts) {
    const std::uint8_t src[6] = {ts.bSecond, ts.bMinute, ts.bHour, ts.bDay, ts.bMonth, ts.bYear};
    std::memcpy(ab, src, sizeof ab);
}

template <std::size_t N, std::size_t M>
void CopyText(char (&dest)[N], const char (&src)[M]) {
    static_assert(M <= N, "source text fits");
    std::memset(dest, 0, N);
    std::memcpy(dest, src, M);
    dest[N - 1] = '\0';
}

bool EndsWithQvd(const std::string& strName) {
    if (strName.size() < 4) return false;
    const char* p = strName.c_str() + strName.size() - 4;
    return p[0] == '.' && (p[1] | 0x20) == 'q' && (p[2] | 0x20) == 'v' && (p[3] | 0x20) == 'd';
}

// The shared scratch block: the menu table followed by its text.
std::vector<std::max_align_t>& SharedScratch() {
    static platform::NoDestructor<std::vector<std::max_align_t>> block;
    return *block;
}

const std::uint8_t* PageText(OpenDocumentState& state, std::uint32_t nPage, bool bSecond, std::size_t* pcch) {
    const std::vector<PageEntry>& pages = state.pFile->Pages();
    if (nPage < 1 || nPage > pages.size()) BadArgument("page position");
    const PageEntry& page = pages[nPage - 1];
    const std::uint32_t offset = bSecond ? page.dwText2Offset : page.dwTextOffset;
    *pcch = 0;
    if (offset == kNoOffset) return nullptr;
    auto& cached = state.aTexts[bSecond ? 1 : 0][nPage - 1];
    if (!cached) {
        std::vector<std::uint8_t> buffer;
        const PageTextView view = state.pFile->ReadPageText(offset, bSecond, buffer);
        cached.emplace(view.pbText, view.pbText + view.cchText);
    }
    *pcch = cached->size();
    return cached->data();
}

}  // namespace

// ---- facade ----------------------------------------------------------------

LibraryErrorCode OpenDocumentFromMemory(const void* pBytes, std::size_t cbBytes, bool bCopy,
                                        const PasswordBlock* pPassword, DocumentHandle* phDocument) {
    return RunLibraryFacade([&] {
        if (phDocument == nullptr) BadArgument("no handle out");
        *phDocument = OpenFromMemory(pBytes, cbBytes, bCopy, pPassword).release();
    });
}

LibraryErrorCode CloseDocument(DocumentHandle hDocument) {
    return RunLibraryFacade([&] {
        Checked(hDocument);
        DestroyHandle(hDocument);
    });
}

void InitDocumentSet(std::uint32_t dwTag, DocumentSet* pSet) {
    if (pSet == nullptr) return;
    std::memset(pSet, 0, sizeof *pSet);
    pSet->dwTag = dwTag;
}

LibraryErrorCode LoadDocumentSet(const void* pBytes, std::size_t cbBytes, DocumentSet* pSet) {
    return RunLibraryFacade([&] {
        if (pSet == nullptr || (pBytes == nullptr && cbBytes != 0)) BadArgument("set or bytes");
        DocumentSet loaded;
        InitDocumentSet(0, &loaded);
        SetGuard guard(&loaded);
        {
            DocumentFile container(std::make_unique<MemoryStream>(MemoryStream::Borrow(pBytes, cbBytes)));
            container.OpenDocument(SkipProtectionCheck());
            if (container.Header().dwEntryTableOffset != kNoOffset) {
                const EntryTableInfo table = container.ReadEntryTable();
                loaded.dwTag = table.dwSetTag;
                if (table.dwCount >= 1) {
                    std::vector<std::uint8_t> scratch;
                    DocStream* pStream = container.Stream();
                    for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
                        const std::uint32_t offset = table.adwSlots[i];
                        if (offset == kNoOffset) continue;
                        std::uint8_t head[6];
                        pStream->Seek(container.DocumentStart() + offset);
                        pStream->Read(head, sizeof head);
                        const std::uint16_t tag = U16At(head);
                        if (tag != 0xFEDC && tag != 0xFED5) Invalid("entry slot is not a document");
                        const std::uint32_t length = U32At(head + 2);
                        // An embedded document lies inside its container.
                        if (length > container.DocumentLength() - offset) Invalid("embedded document too long");
                        scratch.resize(length);
                        pStream->Seek(container.DocumentStart() + offset);
                        pStream->Read(scratch.data(), length);
                        LoadEntry(&loaded, i, scratch.data(), length, nullptr, nullptr, 0);
                    }
                }
            }
        }
        guard.Release();
        *pSet = loaded;
    });
}

LibraryErrorCode LoadSetEntry(DocumentSet* pSet, std::uint32_t nSlot, const void* pBytes, std::size_t cbBytes,
                              const char* pszFileName, const char* pText, std::size_t cbText) {
    return RunLibraryFacade([&] { LoadEntry(pSet, nSlot, pBytes, cbBytes, pszFileName, pText, cbText); });
}

LibraryErrorCode MergeDocumentSets(DocumentSet* pSource, DocumentSet* pTarget, bool* pbChanged,
                                   std::uint32_t* pdwTag) {
    return RunLibraryFacade([&] {
        if (pSource == nullptr || pTarget == nullptr) BadArgument("no set");
        // Merging a set into itself, or sets that share a document, would
        // close documents the target goes on holding.
        if (pSource == pTarget) BadArgument("a set merged into itself");
        for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
            if (pSource->ahSlots[i] != nullptr) Checked(pSource->ahSlots[i]);
            if (pTarget->ahSlots[i] != nullptr) Checked(pTarget->ahSlots[i]);
            for (std::uint32_t j = 0; j < kLoadableSlots && pSource->ahSlots[i] != nullptr; ++j) {
                if (pSource->ahSlots[i] == pTarget->ahSlots[j]) BadArgument("a document in both sets");
            }
        }
        DocumentSet source = *pSource;
        DocumentSet target = *pTarget;
        bool bChanged = false;
        if (target.dwTag == 0 && source.dwTag != 0) {
            target.dwTag = source.dwTag;
            bChanged = true;
        }
        if (source.dwTag == 0 || target.dwTag == 0 || source.dwTag == target.dwTag) {
            bool abGroupFilled[4] = {};
            for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
                const int g = SlotGroup(i);
                if (g >= 0 && source.ahSlots[i] != nullptr) abGroupFilled[g] = true;
            }
            for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
                DocumentHandle& hSource = source.ahSlots[i];
                DocumentHandle& hTarget = target.ahSlots[i];
                const int g = SlotGroup(i);
                if (hSource == nullptr) {
                    if (g >= 0 && abGroupFilled[g] && hTarget != nullptr) {
                        std::swap(hSource, hTarget);
                        bChanged = true;
                    }
                } else if (hTarget == nullptr || g >= 0) {
                    std::swap(hSource, hTarget);
                    bChanged = true;
                } else if (IsLater(Checked(hSource).pFile->Header().tsDate, Checked(hTarget).pFile->Header().tsDate)) {
                    std::swap(hSource, hTarget);
                    bChanged = true;
                }
            }
        }
        FreeSlots(source);
        *pSource = source;
        *pTarget = target;
        if (pbChanged != nullptr) *pbChanged = bChanged;
        if (pdwTag != nullptr) *pdwTag = target.dwTag;
    });
}

LibraryErrorCode LoadAndMergeDocumentSet(const void* pBytes, std::size_t cbBytes, DocumentSet* pTarget,
                                         bool* pbChanged, std::uint32_t* pdwTag) {
    DocumentSet loaded;
    InitDocumentSet(0, &loaded);
    LibraryErrorCode code = LoadDocumentSet(pBytes, cbBytes, &loaded);
    if (code != LIBERR_OK) return code;
    code = MergeDocumentSets(&loaded, pTarget, pbChanged, pdwTag);
    if (code != LIBERR_OK) FreeDocumentSet(&loaded);
    return code;
}

LibraryErrorCode FreeDocumentSet(DocumentSet* pSet) {
    if (pSet != nullptr) FreeSlots(*pSet);
    return LIBERR_OK;
}

LibraryErrorCode FreeSetEntry(DocumentSet* pSet, std::uint32_t nSlot) {
    if (pSet == nullptr || nSlot >= kLoadableSlots) return LIBERR_OK;
    DocumentHandle h = pSet->ahSlots[nSlot];
    pSet->ahSlots[nSlot] = nullptr;
    if (h != nullptr && h->dwMagic == kDocumentHandleMagic) DestroyHandle(h);
    return LIBERR_OK;
}

DocumentHandle GetSetEntry(const DocumentSet* pSet, std::uint32_t nSlot, std::uint32_t* pdwPageCount) {
    if (pSet == nullptr || nSlot >= kLoadableSlots) return nullptr;
    DocumentHandle h = pSet->ahSlots[nSlot];
    if (pdwPageCount != nullptr) {
        *pdwPageCount = 0;
        if (h != nullptr && h->dwMagic == kDocumentHandleMagic) *pdwPageCount = h->pDocument->pFile->Header().wPageCount;
    }
    return h;
}

LibraryErrorCode GetDocumentInfo(DocumentHandle hDocument, DocumentInfo* pInfo) {
    return RunLibraryFacade([&] {
        if (pInfo == nullptr) BadArgument("no information out");
        OpenDocumentState& state = Checked(hDocument);
        DocumentFile& file = *state.pFile;
        const DocumentHeader& h = file.Header();
        DocumentInfo info;
        std::memset(&info, 0, sizeof info);
        info.bProtected = h.dwProtectionOffset != kNoOffset;
        info.bFlag8 = (h.wFlags & 0x8) != 0;
        info.bFlag200 = (h.wFlags & 0x200) != 0;
        info.dwVersion = h.wVersion;
        info.dwPageCount = h.wPageCount;
        info.dwFlags = h.wFlags;
        info.dwResolutionY = h.wResolutionY;
        info.dwResolutionX = h.wResolutionX;
        info.dwLength = file.DocumentLength();
        CopyText(info.szText1, h.szText1);
        CopyText(info.szText2, h.szText2);
        CopyText(info.szText3, h.szText3);
        CopyStamp(info.abFirstStamp, h.tsFirst);
        CopyStamp(info.abDate, h.tsDate);
        if (h.dwEntryTableOffset != kNoOffset) {
            info.bHasEntries = file.ReadEntryTable().dwCount >= 1;
            if (const std::optional<SetInformation> set = file.ReadSetInformation()) {
                info.bHasSetInfo = 1;
                info.dwSetNumber = set->wSetNumber;
                CopyStamp(info.abSetDate, set->tsSetDate);
                info.dwSetValue16 = set->wSetValue16;
                info.dwSetValue32 = set->dwSetValue32;
                CopyText(info.szSetText1, set->szText1);
                CopyText(info.szSetText2, set->szText2);
                if (set->wSize >= 110) {
                    CopyText(info.szSetText3, set->szText3);
                    CopyText(info.szSetText4, set->szText4);
                }
            }
        }
        info.bSetDocument = info.bHasSetInfo || info.bFlag8 || EndsWithQvd(state.strFileName);
        *pInfo = info;
    });
}

LibraryErrorCode GetPageText(DocumentHandle hDocument, std::uint32_t nPage, bool bSecond, const char** ppText,
                             std::size_t* pcchText) {
    return RunLibraryFacade([&] {
        if (ppText == nullptr || pcchText == nullptr) BadArgument("no text out");
        std::size_t cch = 0;
        const std::uint8_t* pb = PageText(Checked(hDocument), nPage, bSecond, &cch);
        *ppText = reinterpret_cast<const char*>(pb);
        *pcchText = cch;
    });
}

void ParseMenuTable(char* pszText, OemMenuTable* pTable) {
    std::memset(pTable, 0, sizeof *pTable);
    char* p = pszText;
    while (*p != '\0' && static_cast<signed char>(*p) <= 32) ++p;
    char* const pEnd = p + std::strlen(p);  // the terminator
    for (char* q = p; q < pEnd; ++q) {
        if (*q == '\x01') *q = '\0';
    }
    // The token after tok, or null at the end or at an empty token.
    auto next = [pEnd](char* tok) -> char* {
        char* q = tok + std::strlen(tok) + 1;
        return q < pEnd && *q != '\0' ? q : nullptr;
    };
    bool bTitleWanted = false;
    bool bTitleTaken = false;
    char* pCurrent = *p != '\0' ? p : nullptr;
    while (pCurrent != nullptr) {
        char* pNext = next(pCurrent);
        if (pNext == nullptr) break;
        const bool bCurrentDash = pCurrent[0] == '-';
        const bool bNextDash = pNext[0] == '-';
        if (!bCurrentDash && !bNextDash) {
            if (bTitleWanted) {
                pTable->pszTitleText = pCurrent;
                pTable->pszTitleCommand = pNext;
                bTitleWanted = false;
                bTitleTaken = true;
            } else if (pTable->dwCount < kMenuTableEntries) {
                pTable->aItems[pTable->dwCount++] = {pCurrent, pNext};
            }
            pCurrent = next(pNext);
        } else if (!bCurrentDash) {
            pCurrent = pNext;
        } else if (bNextDash) {
            if (!bTitleTaken) bTitleWanted = true;
            pCurrent = next(pNext);
        } else {
            if (pTable->dwCount < kMenuTableEntries) pTable->aItems[pTable->dwCount++] = {nullptr, nullptr};
            pCurrent = pNext;
        }
    }
}

LibraryErrorCode GetMenuTable(const DocumentSet* pSet, OemMenuTable** ppTable) {
    return RunLibraryFacade([&] {
        if (pSet == nullptr || ppTable == nullptr) BadArgument("set or table out");
        *ppTable = nullptr;
        DocumentHandle h = pSet->ahSlots[kMenuTableSlot];
        if (h == nullptr) return;
        std::size_t cch = 0;
        const std::uint8_t* pb = PageText(Checked(h), 1, true, &cch);
        const std::size_t cbNeeded = sizeof(OemMenuTable) + cch + 1;
        std::vector<std::max_align_t>& block = SharedScratch();
        const std::size_t cUnits = (cbNeeded + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
        if (block.size() < cUnits) block.resize(cUnits);
        auto* pTable = reinterpret_cast<OemMenuTable*>(block.data());
        char* pszText = reinterpret_cast<char*>(block.data()) + sizeof(OemMenuTable);
        if (cch != 0) std::memcpy(pszText, pb, cch);
        pszText[cch] = '\0';
        ParseMenuTable(pszText, pTable);
        *ppTable = pTable;
    });
}

LibraryErrorCode OpenBlankDocument(DocumentHandle* phDocument) {
    return RunLibraryFacade([&] {
        if (phDocument == nullptr) BadArgument("no handle out");
        *phDocument = OpenBlank().release();
    });
}

bool IsGifImage(const void* pBytes, std::size_t cbBytes) {
    if (pBytes == nullptr || cbBytes < 14) return false;
    const auto* pb = static_cast<const std::uint8_t*>(pBytes);
    if (std::memcmp(pb, "GIF8", 4) != 0 || (pb[4] != '7' && pb[4] != '9') || pb[5] != 'a') return false;
    return U16At(pb + 6) > 0 && U16At(pb + 8) > 0;
}

void SetBlankTemplateProvider(BlankTemplateProvider pfnProvider) { g_pfnBlankTemplate = pfnProvider; }

void ReleaseSharedScratch() { std::vector<std::max_align_t>().swap(SharedScratch()); }

std::size_t CountLiveDocuments() { return g_cLiveDocuments; }
std::size_t CountLiveHandles() { return g_cLiveHandles; }

}  // namespace docengine

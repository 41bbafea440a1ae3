// libFuzzer target: opens the input as a document and reads every record
// it refers to. Any crash, leak or sanitizer report is a fault; error codes
// are the expected outcome for most inputs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "docengine/docengine.h"
#include "doctool/document_builder.h"
#include "suite/library_error.h"

using namespace docengine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t cbData) {
    static const PasswordBlock password = PasswordFromText("secret");
    for (const PasswordBlock* pPassword : {SkipProtectionCheck(), &password}) {
        DocumentFile doc(std::make_unique<MemoryStream>(MemoryStream::Borrow(pbData, cbData)));
        RunLibraryFacade([&] {
            doc.OpenDocument(pPassword);
            std::vector<std::uint8_t> buffer;
            RunLibraryFacade([&] { doc.CheckKind5Table(); });
            RunLibraryFacade([&] { doc.ReadSetInformation(); });
            RunLibraryFacade([&] {
                const EntryTableInfo table = doc.ReadEntryTable();
                for (std::uint32_t slot : table.adwSlots) {
                    if (slot != kNoOffset) RunLibraryFacade([&] { doc.ReadRecord(0, slot, buffer); });
                }
            });
            const DocumentHeader& h = doc.Header();
            for (std::uint32_t offset : {h.dwTableAOffset, h.dwTableBOffset, h.dwTableCOffset, h.dwTableDOffset,
                                         h.dwFlag4RecordOffset, h.dwField174}) {
                if (offset != kNoOffset) RunLibraryFacade([&] { doc.ReadRecord(0, offset, buffer); });
            }
            for (const PageEntry& page : doc.Pages()) {
                if (page.dwTextOffset != kNoOffset) RunLibraryFacade([&] { doc.ReadPageText(page.dwTextOffset, false, buffer); });
                if (page.dwText2Offset != kNoOffset) RunLibraryFacade([&] { doc.ReadPageText(page.dwText2Offset, true, buffer); });
                for (std::uint32_t offset : {page.dwDataOffset, page.dwData2Offset, page.dwFurtherOffset}) {
                    if (offset != kNoOffset) RunLibraryFacade([&] { doc.ReadRecord(0, offset, buffer); });
                }
            }
        });
    }
    // The same bytes as a document set: load, read the menu table, free.
    DocumentSet set;
    InitDocumentSet(0, &set);
    if (LoadDocumentSet(pbData, cbData, &set) == LIBERR_OK) {
        OemMenuTable* pTable = nullptr;
        GetMenuTable(&set, &pTable);
        FreeDocumentSet(&set);
    }
    return 0;
}

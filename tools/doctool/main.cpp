// pfcdoc: makes and inspects document container files.
//
// Commands are kept in one table so further command groups (document sets)
// slot in beside these.
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "description.h"
#include "docengine/docengine.h"
#include "suite/library_error.h"

using namespace docengine;

namespace {

struct Command {
    const char* pszName;
    const char* pszArgs;
    const char* pszHelp;
    int (*pfnRun)(const std::vector<std::string>& args);
};

std::unique_ptr<DocumentFile> OpenFile(const std::string& strPath, const PasswordBlock* pPassword) {
    auto doc = std::make_unique<DocumentFile>(std::make_unique<FileStream>(strPath, FileStream::Mode::Read));
    doc->OpenDocument(pPassword);
    return doc;
}

// Runs one engine operation; on failure prints the code and returns 1.
int RunReporting(const std::function<void()>& operation) {
    // Passed as a temporary: the facade template takes its operation by forwarding reference.
    const LibraryErrorCode code = RunLibraryFacade(std::function<void()>(operation));
    if (code != LIBERR_OK) {
        std::printf("error %u\n", static_cast<unsigned>(code));
        return 1;
    }
    return 0;
}

std::string Stamp(const TimeStamp& ts) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d %02d:%02d:%02d", 1900 + ts.bYear, ts.bMonth + 1, ts.bDay, ts.bHour,
                  ts.bMinute, ts.bSecond);
    return sz;
}

std::string Offset(std::uint32_t v) {
    if (v == kNoOffset) return "-1";
    return std::to_string(v);
}

const PasswordBlock* PasswordArgument(const std::vector<std::string>& args, std::size_t index, PasswordBlock* pBlock) {
    if (args.size() <= index) return SkipProtectionCheck();
    *pBlock = PasswordFromText(args[index]);
    return pBlock;
}

int CmdInfo(const std::vector<std::string>& args) {
    PasswordBlock block;
    const PasswordBlock* pPassword = PasswordArgument(args, 1, &block);
    return RunReporting([&] {
        auto doc = OpenFile(args[0], pPassword);
        const DocumentHeader& h = doc->Header();
        std::printf("length %u start %llu tag 0x%04X\n", doc->DocumentLength(),
                    static_cast<unsigned long long>(doc->DocumentStart()), static_cast<unsigned>(doc->OuterTag()) & 0xFFFFu);
        std::printf("version %u id %u flags 0x%04X\n", h.wVersion, h.dwDocumentId, h.wFlags);
        std::printf("text1 \"%s\"\ntext2 \"%s\"\ntext3 \"%s\"\n", h.szText1, h.szText2, h.szText3);
        std::printf("created %s date %s\n", Stamp(h.tsFirst).c_str(), Stamp(h.tsDate).c_str());
        std::printf("resolution %u x %u largest %u x %u pages %u highest %u\n", h.wResolutionX, h.wResolutionY,
                    h.wLargestWidth, h.wLargestHeight, h.wPageCount, h.wHighestPage);
        std::printf("tables A %u@%s B %u@%s C %u@%s D %u@%s kind5 %s\n", h.wCountA, Offset(h.dwTableAOffset).c_str(),
                    h.wCountB, Offset(h.dwTableBOffset).c_str(), h.wCountC, Offset(h.dwTableCOffset).c_str(), h.wCountD,
                    Offset(h.dwTableDOffset).c_str(), Offset(h.dwKind5Offset).c_str());
        std::printf("protected %s entry-table %s\n", h.dwProtectionOffset != kNoOffset ? "yes" : "no",
                    Offset(h.dwEntryTableOffset).c_str());
        unsigned index = 0;
        for (const PageEntry& p : doc->Pages()) {
            std::printf("page %u number %u size %u x %u base %d x %d res %u x %u rotation %u text %s text2 %s\n", ++index,
                        p.wPageNumber, p.wWidth, p.wHeight, p.nWidthBase, p.nHeightBase, p.wResolutionX,
                        p.wResolutionY, p.wRotation, Offset(p.dwTextOffset).c_str(), Offset(p.dwText2Offset).c_str());
        }
        const EntryTableInfo table = doc->ReadEntryTable();
        std::printf("entries %u set-tag %u\n", table.dwCount, table.dwSetTag);
        if (auto info = doc->ReadSetInformation()) {
            std::printf("set %u value %u %u text1 \"%s\" text2 \"%s\"\n", info->wSetNumber, info->wSetValue16,
                        info->dwSetValue32, info->szText1, info->szText2);
        }
    });
}

int CmdText(const std::vector<std::string>& args) {
    PasswordBlock block;
    const PasswordBlock* pPassword = PasswordArgument(args, 1, &block);
    return RunReporting([&] {
        auto doc = OpenFile(args[0], pPassword);
        std::vector<std::uint8_t> buffer;
        unsigned index = 0;
        for (const PageEntry& p : doc->Pages()) {
            ++index;
            for (int second = 0; second < 2; ++second) {
                const std::uint32_t offset = second ? p.dwText2Offset : p.dwTextOffset;
                if (offset == kNoOffset) continue;
                const PageTextView text = doc->ReadPageText(offset, second != 0, buffer);
                std::printf("page %u %s: ", index, second ? "second" : "first");
                std::fwrite(text.pbText, 1, text.cchText, stdout);
                std::printf("\n");
            }
        }
    });
}

int CmdCheck(const std::vector<std::string>& args) {
    PasswordBlock block;
    const PasswordBlock* pPassword = PasswordArgument(args, 1, &block);
    const int result = RunReporting([&] {
        auto doc = OpenFile(args[0], pPassword);
        // Every record the document refers to must read as well.
        std::vector<std::uint8_t> buffer;
        doc->CheckKind5Table();
        doc->ReadSetInformation();
        for (const PageEntry& p : doc->Pages()) {
            if (p.dwTextOffset != kNoOffset) doc->ReadPageText(p.dwTextOffset, false, buffer);
            if (p.dwText2Offset != kNoOffset) doc->ReadPageText(p.dwText2Offset, true, buffer);
            if (p.dwDataOffset != kNoOffset) doc->ReadRecord(kKindPageData, p.dwDataOffset, buffer);
            if (p.dwData2Offset != kNoOffset) doc->ReadRecord(kKindPageData2, p.dwData2Offset, buffer);
        }
    });
    if (result == 0) std::printf("ok\n");
    return result;
}

int CmdWrite(const std::vector<std::string>& args) {
    return RunReporting([&] {
        const std::vector<std::uint8_t> text = ReadWholeFile(args[0]);
        WriteDescription description;
        std::string strError;
        if (!ParseDescription(std::string(text.begin(), text.end()), &description, &strError)) {
            std::fprintf(stderr, "%s: %s\n", args[0].c_str(), strError.c_str());
            ThrowLibraryError(LIBERR_INVALID_DATA, nullptr);
        }
        std::vector<std::uint8_t> bytes;
        if (description.strAppendTo.empty()) {
            bytes = BuildDocument(description.document);
        } else {
            bytes = BuildAppendedDocument(ReadWholeFile(description.strAppendTo), description.document);
        }
        WriteWholeFile(args[1], bytes);
    });
}

const Command kCommands[] = {
    {"info", "<file> [password]", "header, page table and summary", CmdInfo},
    {"text", "<file> [password]", "the page texts", CmdText},
    {"check", "<file> [password]", "open and read every record; prints ok or the error code", CmdCheck},
    {"write", "<description> <out-file>", "build a document from a description", CmdWrite},
};

// Arguments each command needs at least, from its argument text.
std::size_t RequiredArgs(const Command& c) {
    std::size_t n = 0;
    for (const char* p = c.pszArgs; *p; ++p) n += *p == '<';
    return n;
}

void Usage() {
    std::fprintf(stderr, "usage: pfcdoc <command> ...\n");
    for (const Command& c : kCommands) std::fprintf(stderr, "  %-6s %-26s %s\n", c.pszName, c.pszArgs, c.pszHelp);
    std::fprintf(stderr,
                 "Without a password the protection record is not examined.\n"
                 "Description lines for write: text1|text2|text3 <text>, flags <n>, resolution <x> <y>,\n"
                 "compress on|off, password <text>, append <host-file>, page [<w> <h>], first <text>,\n"
                 "second <text>; '#' starts a comment.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.pszName) != 0) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        if (args.size() < RequiredArgs(c)) {
            Usage();
            return 2;
        }
        return c.pfnRun(args);
    }
    Usage();
    return 2;
}

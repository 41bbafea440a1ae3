// pfcdoc: makes and inspects document container files.
//
// Commands are kept in one table so further command groups (document sets)
// slot in beside these.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "description.h"
#include "docengine/docengine.h"
#include "doctool/set_builder.h"
#include "resource_ids.h"
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

std::string DirectoryOf(const std::string& strPath) {
    const std::size_t slash = strPath.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : strPath.substr(0, slash);
}

bool ReadSetDescription(const std::string& strPath, SetDescription* pOut) {
    const std::vector<std::uint8_t> text = ReadWholeFile(strPath);
    std::string strError;
    if (!ParseSetDescription(std::string(text.begin(), text.end()), DirectoryOf(strPath), pOut, &strError)) {
        std::fprintf(stderr, "%s: %s\n", strPath.c_str(), strError.c_str());
        return false;
    }
    return true;
}

int SetPack(const std::vector<std::string>& args) {
    if (args.size() < 2) return 2;
    return RunReporting([&] {
        SetDescription description;
        if (!ReadSetDescription(args[0], &description)) ThrowLibraryError(LIBERR_INVALID_DATA, nullptr);
        WriteWholeFile(args[1], BuildDocumentSet(description));
    });
}

// A side file: one slot's document on its own (the menu table's slot unless
// another is named).
int SetSide(const std::vector<std::string>& args) {
    if (args.size() < 2) return 2;
    return RunReporting([&] {
        SetDescription description;
        if (!ReadSetDescription(args[0], &description)) ThrowLibraryError(LIBERR_INVALID_DATA, nullptr);
        unsigned long nSlot = kMenuTableSlot;
        if (args.size() > 2) nSlot = std::strtoul(args[2].c_str(), nullptr, 10);
        if (nSlot >= description.aSlots.size() || description.aSlots[nSlot].empty()) {
            std::fprintf(stderr, "%s: slot %lu has no document\n", args[0].c_str(), nSlot);
            ThrowLibraryError(LIBERR_BAD_ARGUMENT, nullptr);
        }
        WriteWholeFile(args[1], description.aSlots[nSlot]);
    });
}

void ThrowIfFailed(LibraryErrorCode code) {
    if (code != LIBERR_OK) ThrowLibraryError(code, nullptr);
}

int SetList(const std::vector<std::string>& args) {
    if (args.empty()) return 2;
    DocumentSet set;
    InitDocumentSet(0, &set);
    const int result = RunReporting([&] {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(args[0]);
        ThrowIfFailed(LoadDocumentSet(bytes.data(), bytes.size(), &set));
        std::printf("tag %u\n", set.dwTag);
        for (std::uint32_t i = 0; i < kLoadableSlots; ++i) {
            std::uint32_t dwPages = 0;
            DocumentHandle h = GetSetEntry(&set, i, &dwPages);
            if (h == nullptr) continue;
            DocumentInfo info;
            ThrowIfFailed(GetDocumentInfo(h, &info));
            std::printf("slot %u: pages %u version %u flags 0x%04X length %u date %04d-%02d-%02d %02d:%02d:%02d "
                        "text1 \"%s\"\n",
                        i, dwPages, info.dwVersion, info.dwFlags, info.dwLength, 1900 + info.abDate[5],
                        info.abDate[4] + 1, info.abDate[3], info.abDate[2], info.abDate[1], info.abDate[0],
                        info.szText1);
        }
        OemMenuTable* pTable = nullptr;
        ThrowIfFailed(GetMenuTable(&set, &pTable));
        if (pTable == nullptr) {
            std::printf("menu none\n");
            return;
        }
        if (pTable->pszTitleText != nullptr) {
            std::printf("menu title \"%s\" \"%s\"\n", pTable->pszTitleText, pTable->pszTitleCommand);
        }
        std::printf("menu entries %u\n", pTable->dwCount);
        for (std::uint32_t i = 0; i < pTable->dwCount; ++i) {
            const OemMenuItem& item = pTable->aItems[i];
            if (item.pszCommand == nullptr) {
                std::printf("  %u separator\n", IDM_EXTRA_FIRST + i);
            } else {
                std::printf("  %u \"%s\" \"%s\"\n", IDM_EXTRA_FIRST + i, item.pszText, item.pszCommand);
            }
        }
    });
    FreeDocumentSet(&set);
    return result;
}

struct SetCommand {
    const char* pszName;
    int (*pfnRun)(const std::vector<std::string>& args);
};
const SetCommand kSetCommands[] = {{"pack", SetPack}, {"side", SetSide}, {"list", SetList}};

int CmdSet(const std::vector<std::string>& args) {
    for (const SetCommand& c : kSetCommands) {
        if (args[0] == c.pszName) {
            const int result = c.pfnRun(std::vector<std::string>(args.begin() + 1, args.end()));
            if (result == 2) std::fprintf(stderr, "usage: pfcdoc set pack|side|list ...\n");
            return result;
        }
    }
    std::fprintf(stderr, "usage: pfcdoc set pack|side|list ...\n");
    return 2;
}

const Command kCommands[] = {
    {"info", "<file> [password]", "header, page table and summary", CmdInfo},
    {"text", "<file> [password]", "the page texts", CmdText},
    {"check", "<file> [password]", "open and read every record; prints ok or the error code", CmdCheck},
    {"write", "<description> <out-file>", "build a document from a description", CmdWrite},
    {"set", "<pack|side|list> ...", "set pack <set-description> <out>: a set container; "
                                    "set side <set-description> <out> [slot]: one slot's document (default 22) "
                                    "as a side file; set list <set-file>: slots, information and menu table",
     CmdSet},
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
                 "second <text>, date <yyyy-mm-dd> [hh:mm:ss], title|item <text> | <command>, separator,\n"
                 "token <text>; '#' starts a comment. Set descriptions: tag, set-info, set-date,\n"
                 "set-text1..4, then slot <n> followed by the slot document's lines (or file <path>).\n");
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

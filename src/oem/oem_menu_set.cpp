#include "oem/oem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/profile.h"
#include "hook/base/trace.h"
#include "oem/oem_menu_items.h"
#include "hook/base/shared_state.h"
#include "suite/library_frame.h"
#include "suite/user_messages.h"
#include "platform/no_destructor.h"
#include "platform/unique_handle.h"

using docengine::DocumentSet;

DocumentSet OemMenuSet = {};

namespace {

// Read out of OemMenuSet at module start and only read afterwards, from any
// thread (see oem_menu_items.h).
platform::NoDestructor<OemMenuItems> g_OemMenuItemsStore;
OemMenuItems& g_OemMenuItems = *g_OemMenuItemsStore;

void InsertItems(const OemMenuItems& items, HMENU hPopup) {
    if (!items.HasTable()) return;
    HMENU hMenu = PrepareOemMenuPosition(hPopup);
    if (hMenu == nullptr) return;
    for (UINT i = 0; i < items.Count() && i <= 9; ++i) {
        const OemMenuEntry& entry = items.Entry(i);
        if (entry.bSeparator) {
            InsertMenuA(hMenu, i, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        } else {
            InsertMenuA(hMenu, i, MF_BYPOSITION | MF_STRING, IDM_EXTRA_FIRST + i, entry.strText.c_str());
        }
    }
}

constexpr const char* kSideFileBase = "\\QoviView.exe";

bool ProvideBlankTemplate(const void** ppBytes, std::size_t* pcbBytes) {
    HMODULE hExecutable = GetModuleHandleA(nullptr);
    HRSRC hInfo = FindResourceA(hExecutable, "~BLANK.TMP", "PAVFILE");
    if (hInfo == nullptr) return false;
    HGLOBAL hData = LoadResource(hExecutable, hInfo);
    const void* pBytes = hData != nullptr ? LockResource(hData) : nullptr;
    if (pBytes == nullptr) return false;
    *ppBytes = pBytes;
    *pcbBytes = SizeofResource(hExecutable, hInfo);
    return true;
}

}  // namespace

void InstallBlankTemplateProvider() { docengine::SetBlankTemplateProvider(ProvideBlankTemplate); }

void ReadOemId(DocumentSet* pSet) {
    const DWORD dwOemId =
        ReadApplicationProfileInt(GetApplicationRegistryKey(), GetApplicationProfileName(), "Settings", "OEMID", 0);
    docengine::InitDocumentSet(dwOemId, pSet);
}

void MakeOemSideFilePath(UINT nSlot, char* pszPath) {
    char szDir[MAX_PATH] = {};
    GetWindowsDirectoryA(szDir, MAX_PATH);
    lstrcpynA(pszPath, szDir, MAX_PATH);
    const size_t cchDir = std::strlen(pszPath);
    lstrcpynA(pszPath + cchDir, kSideFileBase, static_cast<int>(MAX_PATH - cchDir));
    char* pDot = std::strrchr(pszPath, '.');
    if (pDot == nullptr) return;
    const size_t cchLeft = MAX_PATH - static_cast<size_t>(pDot + 1 - pszPath);
    std::snprintf(pDot + 1, cchLeft, "%s%.2u", "a", nSlot);
}

void LoadOemSideFile(DocumentSet* pSet, UINT nSlot) {
    char szPath[MAX_PATH] = {};
    MakeOemSideFilePath(nSlot, szPath);
    // Shared for reading while others may read it too; a file someone holds
    // open for writing is still tried for plain reading.
    platform::unique_file file(CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        file.reset(CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) return;
    // Read in every process the hook reaches: a file beyond any menu set's
    // size is not read at all.
    if (size.QuadPart > kOemSideFileLimit) {
        Trace("LoadOemSideFile TOO_LARGE", nullptr);
        return;
    }
    const DWORD cbFile = static_cast<DWORD>(size.QuadPart);
    // A fixed block, zero-filled beyond the file: its handle is its address.
    platform::unique_hglobal block(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, std::max(cbFile, kOemSideFileBlock)));
    if (!block) return;
    void* pData = block.get();
    DWORD cbRead = 0;
    if (!ReadFile(file.get(), pData, cbFile, &cbRead, nullptr) || cbRead != cbFile) return;
    // The menu table is read here, under the bound, so that a set which
    // expands beyond it is refused now rather than read in pieces later.
    docengine::ExpansionBound bound(kOemSetExpansionBound);
    LibraryErrorCode dwCode = docengine::LoadSetEntry(pSet, nSlot, pData, cbFile, nullptr, nullptr);
    if (dwCode == LIBERR_OK && nSlot == kOemMenuSlot) {
        docengine::OemMenuTable* pTable = nullptr;
        dwCode = docengine::GetMenuTable(pSet, &pTable);
        if (dwCode != LIBERR_OK) {
            const std::uint32_t dwTag = pSet->dwTag;
            docengine::FreeDocumentSet(pSet);
            docengine::InitDocumentSet(dwTag, pSet);
        }
    }
    CheckLibraryResult(dwCode);
}

LibraryErrorCode LoadOemMenuSet(DocumentSet* pSet, UINT nSlot) {
    HRSRC hInfo = g_hResourceModule != nullptr
                      ? FindResourceA(g_hResourceModule, MAKEINTRESOURCEA(IDR_OEM_SET),
                                      MAKEINTRESOURCEA(RT_OEM_SET))
                      : nullptr;
    if (hInfo != nullptr) {
        HGLOBAL hData = LoadResource(g_hResourceModule, hInfo);
        const void* pBytes = hData != nullptr ? LockResource(hData) : nullptr;
        if (pBytes != nullptr) {
            CheckLibraryResult(docengine::LoadAndMergeDocumentSet(pBytes, SizeofResource(g_hResourceModule, hInfo), pSet,
                                                                  nullptr, nullptr));
        }
    }
    DocumentSet sideSet;
    docengine::InitDocumentSet(pSet->dwTag, &sideSet);
    LoadOemSideFile(&sideSet, nSlot);
    const LibraryErrorCode dwCode = docengine::MergeDocumentSets(&sideSet, pSet, nullptr, nullptr);
    // Whatever the merge did not take is closed by it; a failed merge must not
    // leave the side file's document behind either.
    docengine::FreeDocumentSet(&sideSet);
    return dwCode;
}

void FreeOemMenuSet() {
    docengine::FreeDocumentSet(&OemMenuSet);
    g_OemMenuItems = OemMenuItems();
}

HMENU FindMenuWithCommand(HMENU hMenu, UINT uId) {
    if (hMenu == nullptr) return nullptr;
    for (int nPos = GetMenuItemCount(hMenu) - 1; nPos >= 0; --nPos) {
        const UINT uItemId = GetMenuItemID(hMenu, nPos);
        if (uItemId == uId) return hMenu;
        if (uItemId == 0xFFFFFFFFu) {
            if (HMENU hFound = FindMenuWithCommand(GetSubMenu(hMenu, nPos), uId)) return hFound;
        }
    }
    return nullptr;
}

HMENU PrepareOemMenuPosition(HMENU hPopup) {
    HMENU hMenu = FindMenuWithCommand(hPopup, IDM_OEM_PLACEHOLDER);
    if (hMenu == nullptr) return nullptr;
    int k = GetMenuItemCount(hMenu) - 1;
    while (k >= 0 && GetMenuItemID(hMenu, k) != IDM_OEM_PLACEHOLDER) --k;
    // The item just above the placeholder (the group's separator) and the
    // placeholder stay; everything above them makes room for the items.
    for (int i = 0; i < k - 1; ++i) RemoveMenu(hMenu, 0, MF_BYPOSITION);
    return hMenu;
}

void PrepareOemMenuItems() { g_OemMenuItems = OemMenuItems::FromSet(&OemMenuSet); }

void InsertOemMenuItems(DocumentSet* pSet, HMENU hPopup) {
    if (pSet != &OemMenuSet) {
        InsertItems(OemMenuItems::FromSet(pSet), hPopup);
        return;
    }
    InsertItems(g_OemMenuItems, hPopup);
}

const char* GetOemCommandText(DocumentSet* pSet, UINT uId) {
    if (uId < IDM_EXTRA_FIRST || uId > IDM_EXTRA_LAST) return nullptr;
    const OemMenuItems* pItems = &g_OemMenuItems;
    if (pSet != &OemMenuSet) {
        // Another set is read on the spot; its text lasts until the next
        // call for another set. Only the process's set is read by the
        // threads of hooked windows.
        static platform::NoDestructor<OemMenuItems> s_otherSetItems;
        *s_otherSetItems = OemMenuItems::FromSet(pSet);
        pItems = s_otherSetItems.get();
    }
    if (!CheckLibraryResult(pItems->ReadCode())) return nullptr;
    return pItems->CommandOf(uId - IDM_EXTRA_FIRST);
}

void ExpandOemCommand(const char* pszCommand, char (&szOut)[kOemCommandSize]) {
    // The command is the distributor's text, not a format: only the two "%s"
    // that used to take empty texts are dropped.
    size_t cchOut = 0;
    int nExpanded = 0;
    for (const char* p = pszCommand; *p != '\0' && cchOut < kOemCommandSize - 1; ++p) {
        if (p[0] == '%' && p[1] == 's' && nExpanded < 2) {
            ++nExpanded;
            ++p;
            continue;
        }
        szOut[cchOut++] = *p;
    }
    szOut[cchOut] = '\0';
}

void RunOemCommand(HWND hWnd, UINT uId) {
    const char* pszCommand = GetOemCommandText(&OemMenuSet, uId);
    if (pszCommand == nullptr) return;
    char szCommand[kOemCommandSize];
    ExpandOemCommand(pszCommand, szCommand);
    ShellOpenFile(hWnd, szCommand);
}

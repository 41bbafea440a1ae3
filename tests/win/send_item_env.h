// What a hooked window needs around it to show its send item in a test: the
// resource module, an installed suite (suite key, common directory with the
// profile), the module list naming the host sections, and the distributor's
// set. Everything is put back when the environment goes.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "built_modules.h"
#include "hook/base/shared_state.h"
#include "oem/oem.h"
#include "seam_recorder.h"
#include "shared_lists.h"
#include "suite_key_sandbox.h"

namespace test_support {

// Host sections by index: entry n of the module list names host n's section.
inline const std::vector<std::string>& TestHostSections() {
    static const std::vector<std::string> sections = {"HOSTZERO.EXE", "HOSTONE.EXE", "HOSTTWO.EXE", "HOSTTHREE.EXE"};
    return sections;
}

// One menu item as a menu test compares it.
inline std::string DescribeItem(HMENU hMenu, int nPos) {
    MENUITEMINFOA mii{};
    char szText[260] = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    mii.dwTypeData = szText;
    mii.cch = sizeof szText;
    GetMenuItemInfoA(hMenu, static_cast<UINT>(nPos), TRUE, &mii);
    const char* pszType = (mii.fType & MFT_SEPARATOR) ? "sep" : (mii.fType & MFT_BITMAP) ? "bitmap" : "string";
    char szLine[400];
    std::snprintf(szLine, sizeof szLine, "%d %s state=%u id=%u %s%s", nPos, pszType, mii.fState,
                  mii.hSubMenu != nullptr ? 0u : mii.wID, (mii.fType & (MFT_SEPARATOR | MFT_BITMAP)) ? "" : szText,
                  mii.hSubMenu != nullptr ? " {" : "");
    return szLine;
}

// Item by item, depth first; a submenu's items follow its item, closed by "}".
inline void DescribeMenu(HMENU hMenu, std::vector<std::string>* pLines, const std::string& indent = "") {
    const int nItems = GetMenuItemCount(hMenu);
    for (int i = 0; i < nItems; ++i) {
        pLines->push_back(indent + DescribeItem(hMenu, i));
        if (HMENU hSub = GetSubMenu(hMenu, i)) {
            DescribeMenu(hSub, pLines, indent + "  ");
            pLines->push_back(indent + "}");
        }
    }
}

inline std::vector<std::string> DescribeMenu(HMENU hMenu) {
    std::vector<std::string> lines;
    DescribeMenu(hMenu, &lines);
    return lines;
}

class SendItemEnvironment {
public:
    // Suite version 2.4 installed; the install flag and "ParvaneInfo" as given
    // (nParvaneInfo < 0: the value is missing).
    explicit SendItemEnvironment(int nParvaneInfo = 3, bool bInstallFlag = false) {
        m_hSavedResources = g_hResourceModule;
        m_hResources = LoadBuiltResourceModule();
        g_hResourceModule = m_hResources;
        SetSuite(nParvaneInfo, bInstallFlag);
        SuiteKeySandbox::SetString(kRootLocalMachine, "CommonDirectory", m_dir.path());
        m_ini = m_dir.path() + "\\PvPfcW32.ini";
        lstrcpynA(g_szIniPath, m_ini.c_str(), kPathSize);
        m_lists.Modules(TestHostSections());
        m_savedSet = OemMenuSet;
        docengine::InitDocumentSet(0, &OemMenuSet);
        LoadOemMenuSet(&OemMenuSet, kOemMenuSlot);
        PrepareOemMenuItems();
    }
    ~SendItemEnvironment() {
        docengine::FreeDocumentSet(&OemMenuSet);
        OemMenuSet = m_savedSet;
        PrepareOemMenuItems();
        DeleteFileA(m_ini.c_str());
        g_hResourceModule = m_hSavedResources;
        if (m_hResources != nullptr) FreeLibrary(m_hResources);
    }
    SendItemEnvironment(const SendItemEnvironment&) = delete;
    SendItemEnvironment& operator=(const SendItemEnvironment&) = delete;

    static void SetSuite(int nParvaneInfo, bool bInstallFlag, BYTE nMinor = 4) {
        SuiteKeySandbox::SetBinary(kRootCurrentUser, "InstallVersion",
                                   {static_cast<BYTE>(bInstallFlag ? 0x03 : 0x01), 0x00, nMinor, 0x02});
        if (nParvaneInfo >= 0)
            SuiteKeySandbox::SetBinary(kRootLocalMachine, "ParvaneInfo", {static_cast<BYTE>(nParvaneInfo), 0, 0, 0});
        else
            SuiteKeySandbox::Set(kRootLocalMachine, "ParvaneInfo", REG_SZ, "x", 2);
    }
    void Profile(const char* pszSection, const char* pszKey, const char* pszValue) const {
        WritePrivateProfileStringA(pszSection, pszKey, pszValue, m_ini.c_str());
    }
    std::string Profile(const char* pszSection, const char* pszKey) const {
        char szValue[260] = {};
        GetPrivateProfileStringA(pszSection, pszKey, "<none>", szValue, sizeof szValue, m_ini.c_str());
        return szValue;
    }
    const std::string& dir() const { return m_dir.path(); }
    bool resourcesLoaded() const { return m_hResources != nullptr; }

    // Message boxes and launches are recorded, not shown.
    SeamRecorder seams;

private:
    SuiteKeySandbox m_key;
    TempDirectory m_dir;
    SharedListsScope m_lists;
    std::string m_ini;
    HINSTANCE m_hSavedResources = nullptr;
    HMODULE m_hResources = nullptr;
    docengine::DocumentSet m_savedSet{};
};

}  // namespace test_support

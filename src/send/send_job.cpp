#include "send/send_job.h"

#include <commdlg.h>

#include <cstring>
#include <string>

#include "hook/base/shared_state.h"
#include "platform/seams.h"
#include "send/mail_program.h"
#include "suite/suite_settings.h"
#include "suite/user_messages.h"

namespace send {
namespace {

constexpr int kTextChars = 1024;
constexpr size_t kDefaultExtensionChars = 3;
constexpr DWORD kOpenDialogFlags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveDialogFlags = OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

std::string LoadResourceText(UINT uId) {
    char szText[kTextChars] = {};
    if (g_hResourceModule != nullptr) LoadStringA(g_hResourceModule, uId, szText, kTextChars);
    return szText;
}

bool WriteAll(HANDLE hFile, const void* pData, DWORD cb) {
    DWORD cbWritten = 0;
    return WriteFile(hFile, pData, cb, &cbWritten, nullptr) && cbWritten == cb;
}

bool JobWriteFailed(const char* pszPath) {
    ShowFormattedMessage(IDS_JOB_WRITE_FAILED, pszPath, MB_ICONHAND);
    return false;
}

// A job file of its own in the temporary directory; false when the system
// cannot make one (no temporary directory, or no name left in it).
bool MakeJobFileName(char (&szPath)[MAX_PATH], char (&szDirectory)[MAX_PATH]) {
    const DWORD cch = GetTempPathA(MAX_PATH, szDirectory);
    if (cch == 0 || cch >= MAX_PATH) {
        szDirectory[0] = '\0';
        return false;
    }
    return GetTempFileNameA(szDirectory, kJobFilePrefix, 0, szPath) != 0;
}

void SendJobToSendingProgram() {
    const std::string text = kJobTextPrefix + LoadResourceText(IDS_SEND_MAIL_TITLE);
    char szPath[MAX_PATH] = {};
    char szDirectory[MAX_PATH] = {};
    if (!MakeJobFileName(szPath, szDirectory)) {
        // Without a name there is no file to write: as if it could not be made.
        ShowFormattedMessage(IDS_JOB_CREATE_FAILED, szDirectory, MB_ICONHAND);
        ShowFormattedMessage(IDS_LIBRARY_ERROR, nullptr, MB_SYSTEMMODAL);
        return;
    }
    platform::unique_file hFile;
    if (!WriteJobHeader(szPath, kJobRecordType, text.c_str(), hFile)) {
        ShowFormattedMessage(IDS_LIBRARY_ERROR, nullptr, MB_SYSTEMMODAL);
        return;
    }
    // A short block or text still goes to the sending program, which tells
    // the user what it cannot read.
    static const BYTE kReserved[kJobReservedBytes] = {};
    WriteJobBlock(szPath, kReserved, kJobReservedBytes, hFile);
    WriteJobText(szPath, text.c_str(), hFile);
    if (StartMailProgram(kJobLaunchFlags, szPath) != LIBERR_OK)
        ShowFormattedMessage(IDS_SENDER_NOT_STARTED, nullptr, MB_SYSTEMMODAL);
}

// The folder of "LastSaveFilePath": the value names the file last saved, or
// a folder (then it may end with a backslash).
bool GetLastSaveDirectory(char (&szDirectory)[MAX_PATH]) {
    if (BuildSuitePath(kSuiteKeyPath, nullptr, "LastSaveFilePath", nullptr, kRootCurrentUser, true, szDirectory) ==
        LIBERR_OK)
        return true;
    if (!CheckLibraryResult(GetLastSaveFilePath(szDirectory))) return false;
    char* pszSlash = std::strrchr(szDirectory, '\\');
    if (pszSlash != nullptr) *pszSlash = '\0';
    return true;
}

void SaveViewerCopy() {
    char szViewer[MAX_PATH] = {};
    if (!CheckLibraryResult(GetYarrowPath(szViewer))) return;
    char szDirectory[MAX_PATH] = {};
    if (!GetLastSaveDirectory(szDirectory)) return;
    char szTarget[MAX_PATH] = {};
    lstrcpynA(szTarget, (std::string(szDirectory) + "\\" + kViewerFileName).c_str(), MAX_PATH);
    char szFilter[MAX_PATH] = {};
    lstrcpynA(szFilter, LoadResourceText(IDS_SAVE_FILTER).c_str(), MAX_PATH);
    if (!AskFileName(szTarget, szFilter, IDS_SAVE_TITLE, false)) return;
    if (!CopyFileA(szViewer, szTarget, FALSE)) ShowFormattedMessage(IDS_COPY_FAILED, szTarget, MB_SYSTEMMODAL);
}

}  // namespace

bool WriteJobHeader(const char* pszPath, WORD wRecordType, const char* pszText, platform::unique_file& hFile) {
    hFile.reset(CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile) {
        ShowFormattedMessage(IDS_JOB_CREATE_FAILED, pszPath, MB_ICONHAND);
        return false;
    }
    const WORD aHeader[2] = {wRecordType, static_cast<WORD>(lstrlenA(pszText) + 1)};
    if (!WriteAll(hFile.get(), aHeader, sizeof aHeader)) {
        hFile.reset();
        return JobWriteFailed(pszPath);
    }
    return true;
}

bool WriteJobBlock(const char* pszPath, const BYTE* pBlock, DWORD cbBlock, platform::unique_file& hFile) {
    return WriteAll(hFile.get(), pBlock, cbBlock) || JobWriteFailed(pszPath);
}

bool WriteJobText(const char* pszPath, const char* pszText, platform::unique_file& hFile) {
    const DWORD cbText = static_cast<DWORD>(lstrlenA(pszText)) + 1;
    // The header holds the length in 16 bits; a text it cannot describe is
    // left out rather than written with a wrong length.
    bool bWritten = true;
    if (cbText % 0x10000 != 0) bWritten = WriteAll(hFile.get(), pszText, cbText) || JobWriteFailed(pszPath);
    hFile.reset();
    return bWritten;
}

bool AskFileName(char* pszPath, const char* pszFilter, UINT uTitleId, bool bForOpening, DWORD* pdwFilterIndex) {
    const std::string filterText = pszFilter != nullptr ? pszFilter : "";
    std::string filter = filterText;
    for (char& ch : filter)
        if (ch == '|') ch = '\0';
    filter.push_back('\0');

    std::string defaultExtension;
    const size_t nDot = filterText.find('.');
    if (nDot != std::string::npos) defaultExtension = filterText.substr(nDot + 1, kDefaultExtensionChars);

    std::string title;
    if (uTitleId != 0) {
        title = LoadResourceText(uTitleId);
        const size_t nBreak = title.find_last_of('\n');
        if (nBreak != std::string::npos && title.find('\n') > 0) title = title.substr(nBreak + 1);
    }

    const std::string proposed = pszPath;
    std::string directory;
    std::string fileName = proposed;
    const size_t nSlash = proposed.find_last_of('\\');
    if (nSlash != std::string::npos && nSlash > 0) {
        directory = proposed.substr(0, nSlash);
        fileName = proposed.substr(nSlash + 1);
    }
    char szFile[MAX_PATH] = {};
    lstrcpynA(szFile, fileName.c_str(), MAX_PATH);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    ofn.lpstrTitle = uTitleId != 0 ? title.c_str() : nullptr;
    ofn.Flags = bForOpening ? kOpenDialogFlags : kSaveDialogFlags;
    ofn.lpstrDefExt = nDot != std::string::npos ? defaultExtension.c_str() : nullptr;
    const platform::Seams& seams = platform::GetSeams();
    const BOOL bConfirmed = bForOpening ? seams.pfnGetOpenFileNameA(&ofn) : seams.pfnGetSaveFileNameA(&ofn);
    lstrcpynA(pszPath, szFile, MAX_PATH);
    if (pdwFilterIndex != nullptr) *pdwFilterIndex = ofn.nFilterIndex;
    return bConfirmed != FALSE;
}

void SendByMail() {
    if (QueryMailSystemPresent())
        SendJobToSendingProgram();
    else
        SaveViewerCopy();
}

void OpenPhonebook(HWND hWnd, int nMode) {
    char szPath[MAX_PATH] = {};
    if (!CheckLibraryResult(GetPhonebookPath(szPath))) return;
    RunProgram(hWnd, szPath, nMode == 0 ? kPhonebookBrowseSwitch : "");
}

}  // namespace send

// Records the outward calls made through the platform seams instead of making
// them. One recorder at a time; the real calls are back when it goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/seams.h"

namespace test_support {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT uType;
};

struct ShellExecuteCall {
    HWND hWnd;
    std::string verb;  // "<null>" when none was given
    std::string file;
    std::string parameters;  // "<null>" when none were given
    std::string directory;   // "<null>" when none was given
    int nShowCmd;
};

struct FileDialogCall {
    bool bSave;
    HWND hOwner;
    std::string filter;  // parts joined by '|'
    std::string file;
    std::string initialDir;  // "<null>" when none was given
    std::string title;       // "<null>" when none was given
    std::string defaultExtension;  // "<null>" when none was given
    DWORD dwFlags;
};

class SeamRecorder {
public:
    SeamRecorder() {
        s_pCurrent = this;
        m_seams->pfnMessageBoxA = RecordMessageBox;
        m_seams->pfnShellExecuteA = RecordShellExecute;
        m_seams->pfnGetSaveFileNameA = RecordSaveDialog;
        m_seams->pfnGetOpenFileNameA = RecordOpenDialog;
    }
    ~SeamRecorder() { s_pCurrent = nullptr; }
    SeamRecorder(const SeamRecorder&) = delete;
    SeamRecorder& operator=(const SeamRecorder&) = delete;

    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellExecuteCall> launches;
    int nMessageBoxResult = IDOK;
    INT_PTR nShellResult = 42;  // above 32: started
    std::vector<FileDialogCall> fileDialogs;
    bool bFileDialogConfirms = true;
    std::string fileDialogChoice;  // the full path the "user" picks

private:
    static std::string OrNull(LPCSTR psz) { return psz != nullptr ? psz : "<null>"; }
    static int WINAPI RecordMessageBox(HWND, LPCSTR pszText, LPCSTR pszCaption, UINT uType) {
        s_pCurrent->messageBoxes.push_back({OrNull(pszText), OrNull(pszCaption), uType});
        return s_pCurrent->nMessageBoxResult;
    }
    static HINSTANCE WINAPI RecordShellExecute(HWND hWnd, LPCSTR pszVerb, LPCSTR pszFile, LPCSTR pszParameters,
                                               LPCSTR pszDirectory, INT nShowCmd) {
        s_pCurrent->launches.push_back(
            {hWnd, OrNull(pszVerb), OrNull(pszFile), OrNull(pszParameters), OrNull(pszDirectory), nShowCmd});
        return reinterpret_cast<HINSTANCE>(s_pCurrent->nShellResult);
    }

    static BOOL RecordFileDialog(bool bSave, LPOPENFILENAMEA pOfn) {
        std::string filter;
        for (const char* p = pOfn->lpstrFilter; p != nullptr && *p != '\0'; p += lstrlenA(p) + 1)
            filter += std::string(p) + "|";
        s_pCurrent->fileDialogs.push_back({bSave, pOfn->hwndOwner, filter, pOfn->lpstrFile,
                                           OrNull(pOfn->lpstrInitialDir), OrNull(pOfn->lpstrTitle),
                                           OrNull(pOfn->lpstrDefExt), pOfn->Flags});
        if (!s_pCurrent->bFileDialogConfirms) return FALSE;
        lstrcpynA(pOfn->lpstrFile, s_pCurrent->fileDialogChoice.c_str(), static_cast<int>(pOfn->nMaxFile));
        return TRUE;
    }
    static BOOL WINAPI RecordSaveDialog(LPOPENFILENAMEA pOfn) { return RecordFileDialog(true, pOfn); }
    static BOOL WINAPI RecordOpenDialog(LPOPENFILENAMEA pOfn) { return RecordFileDialog(false, pOfn); }

    static inline SeamRecorder* s_pCurrent = nullptr;
    platform::ScopedSeams m_seams;
};

}  // namespace test_support

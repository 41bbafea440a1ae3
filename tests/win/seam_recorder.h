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

class SeamRecorder {
public:
    SeamRecorder() {
        s_pCurrent = this;
        m_seams->pfnMessageBoxA = RecordMessageBox;
        m_seams->pfnShellExecuteA = RecordShellExecute;
    }
    ~SeamRecorder() { s_pCurrent = nullptr; }
    SeamRecorder(const SeamRecorder&) = delete;
    SeamRecorder& operator=(const SeamRecorder&) = delete;

    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellExecuteCall> launches;
    int nMessageBoxResult = IDOK;
    INT_PTR nShellResult = 42;  // above 32: started

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

    static inline SeamRecorder* s_pCurrent = nullptr;
    platform::ScopedSeams m_seams;
};

}  // namespace test_support

// State shared by every process that has the module loaded, and the state
// each process keeps for itself.
#pragma once

#include <windows.h>

constexpr int kSharedListSize = 4096;
constexpr int kPathSize = 260;

// One block for all processes; the field order is part of the module's
// footprint and must not change.
struct SharedSection {
    char szModuleList[kSharedListSize];
    char szIncludeList[kSharedListSize];
    char szIniPath[kPathSize];
    DWORD dwHookParam;
    HHOOK hShellHook;
    HANDLE hHookMutex;
    char szRefreshMsgName[13];
    // Safe mode, appended so that every field above keeps its place. The
    // controller writes all three; hosts only read them. dwSafeModeWatch is
    // 1 while a controller with safe mode on takes the module's notes;
    // nQuarantineGeneration changes whenever szQuarantineList (executable
    // names in key-list form) is written, so that a hooked window's message
    // costs one comparison until it does.
    DWORD dwSafeModeWatch;
    volatile LONG nQuarantineGeneration;
    char szQuarantineList[kSharedListSize];
};

extern SharedSection g_SharedSection;

extern char (&g_szModuleList)[kSharedListSize];
extern char (&g_szIncludeList)[kSharedListSize];
extern char (&g_szIniPath)[kPathSize];
extern DWORD& g_dwHookParam;
extern HHOOK& g_ShellHook;
extern HANDLE& g_hHookMutex;

// Entry nIndex (from 0) of the module list, which names the host's profile
// section; empty past its end.
const char* GetModuleEntry(int nIndex);

// Per process.
extern HINSTANCE g_hModuleInstance;   // this module
extern HINSTANCE g_hResourceModule;   // the suite's resource module
extern UINT g_uRefreshMsg;
extern volatile LONG g_nBusyThreads;
extern CRITICAL_SECTION g_csMenuThread;
extern bool g_bMenuThreadLockCreated;

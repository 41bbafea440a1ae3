// The hook core's chief header: the host index, the record of a hooked
// window, the table of hooked windows of this process and the operations
// that choose, subclass and release host windows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "platform/module_pin.h"

// Host index (position of the host's module name in the module list).
constexpr int kHostNotHooked = -1;
constexpr int kHostBrowser = 0;      // button host with a rebar
constexpr int kHostDocObject = 1;    // menu host with a "Shell DocObject View"
constexpr int kHostGeneric = 2;      // included, unlisted or without its dock

// Bits of HookedWndInfo::dwFlags.
constexpr DWORD kHookFlagClosing = 0x1;        // WM_CLOSE or WM_QUIT seen
constexpr DWORD kHookFlagItemConfirmed = 0x2;  // the send item is in place
constexpr DWORD kHookFlagBrowser = 0x4;        // browser-type window
constexpr DWORD kHookFlagUnicode = 0x8;        // messages travel as Unicode

// Positions of HookedWndInfo::aCmdID.
enum SendCommandPosition {
    kCmdPrintFax = 0,
    kCmdPrintMail = 1,
    kCmdPrintDefault = 2,  // also marks the send popup in the host's menu
    kCmdPhonebook = 3,
    kCmdPhonebookSelect = 4,
    kCmdSendByMail = 5,
    kCmdConfigure = 6,
    kCmdPrintOther = 7,
    kCmdFirstOem = 8,
    kSendCommandCount = 18,
};

struct SendCommandSlot {
    UINT uTemplateItem;  // item of menu template 27021 it replaces
    UINT uBaseId;        // the identifier the renumbering starts from
};
extern const SendCommandSlot kSendCommandSlots[kSendCommandCount];

struct HookedWndInfo {
    HWND hWnd;
    WNDPROC pfnOldWndProc;  // 0 once restored, or when subclassing failed
    int nModule;
    DWORD dwFlags;
    UINT_PTR uTimerID;
    UINT aCmdID[kSendCommandCount];
    UINT uPrintCmd;
    HBITMAP hBitmap;
    HMENU hPopupMenu;
    HWND hButtonWnd;
    HMENU hMenu;
    int nMenuItems;
    HANDLE hLock;  // semaphore 1/1, taken by the menu worker thread

    // Lifetime. The table holds one reference; a menu worker thread and a
    // message being handled hold one each. The record is freed when the last
    // goes. bUnhooked is set, under g_HookedWndLock, when the record leaves
    // the table: its window is no longer ours to touch.
    volatile LONG nRefCount;
    volatile LONG bUnhooked;

    // While the record lives its window may call HookProc: the module stays.
    platform::ModulePin modulePin;
};

// The table of this process: owns its records; g_HookedWndLock guards it. It
// is a slim reader/writer lock, not re-entrant: every message of every hooked
// window looks the table up (shared), so a lock that costs a kernel call per
// message would dominate the path; only insertion and removal take it
// exclusively. g_PrintCmdLock serialises the learning of hosts' Print commands.
extern std::vector<HookedWndInfo*> g_HookedWndList;
extern SRWLOCK g_HookedWndLock;
extern HANDLE g_PrintCmdLock;

// Zeroes the send-item part (aCmdID through nMenuItems).
void InitHookedWndInfo(HookedWndInfo* pInfo);

void AddRefHookedWnd(HookedWndInfo* pInfo);
void ReleaseHookedWnd(HookedWndInfo* pInfo);

// Records made and not yet freed in this process: those in the table plus
// those still held by a worker or a message being handled.
LONG CountLiveHookedRecords();

// Target selection.
BOOL GetModuleName(char* pszModuleName, HWND hWnd);
// The upper-case file name of a module path; false for "KERNEL32.DLL".
BOOL ModuleNameFromPath(const char* pszPath, char* pszModuleName);
BOOL IsIncludedModule(const char* pszModuleName);
// Whether the process has a module of that name loaded; loads nothing.
BOOL IsLoadedModule(const char* pszModuleName);
int GetModuleIndex(HWND hWnd, const char* pszModuleName);
// The decision ShellProc makes for a new top-level window, and the hooking.
void ChooseAndHookWindow(HWND hWnd);

// Table of hooked windows.
void TryToHookThisWnd(HWND hWnd, int nModule);
// Position out: the record's index in the table at the time of the lookup.
HookedWndInfo* FindHookedWnd(HWND hWnd, size_t* pPosition);
// The same, with a reference taken for the caller (ReleaseHookedWnd).
HookedWndInfo* FindHookedWndRef(HWND hWnd, size_t* pPosition);
void RestoreWndProc(HookedWndInfo* pInfo, BOOL bRemoveItem);
void UnhookThisWnd(HookedWndInfo* pInfo, BOOL bRemoveItem, size_t nPosition);
void UnhookAllWindows();
void ReleaseIfExcluded(HookedWndInfo* pInfo);
size_t CountHookedWindows();

// Windows whose procedure could not be given back because somebody else
// subclassed them after us still call HookProc: their messages are passed on
// to the procedure we replaced until the window goes.
bool FindForwardOnlyWnd(HWND hWnd, WNDPROC* ppfnOldWndProc, bool* pbUnicode);
void ForgetForwardOnlyWnd(HWND hWnd);
size_t CountForwardOnlyWindows();

// The menu worker: puts the send item back after a host rebuilt its menu.
// Results: 0, or one of these.
constexpr DWORD kMenuWaitGone = static_cast<DWORD>(-3);
constexpr DWORD kMenuWaitNoMenu = static_cast<DWORD>(-4);
constexpr DWORD kMenuWaitUnhooked = static_cast<DWORD>(-6);
constexpr int kMenuWaitAttempts = 20;
constexpr DWORD kMenuWaitIntervalMs = 250;
DWORD MenuWaitThread(HookedWndInfo* pInfo);
// The worker's request to the window's own thread, which places the item
// (HookProc answers it with the result of this).
constexpr char kPlaceItemMessageName[] = "PvPfcW32.PlaceItem";
extern UINT g_uPlaceItemMsg;
BOOL PlaceItemForMenuWorker(HookedWndInfo* pInfo);
// Starts the worker on its own thread with references to the record and to
// this module, so neither can go away under it. False when no thread runs.
bool StartMenuWaitThread(HookedWndInfo* pInfo, DWORD* pdwThreadId = nullptr);

void KillRefreshTimer(HookedWndInfo* pInfo);

// Told to every top-level window when the hook is removed: windows of other
// processes are unhooked on it. The system would unload the module from those
// processes, whose exit gives their windows back; Wine keeps a hook's module
// loaded after the hook is gone, so we say it ourselves.
constexpr char kHookRemovedMessageName[] = "PvPfcW32.HookRemoved";
extern UINT g_uHookRemovedMsg;
void AnnounceHookRemoved();

extern "C" LRESULT CALLBACK HookProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Replaceable calls of the hook core, for the in-process tests; the defaults
// are the real ones.
namespace hook_seams {
extern BOOL (*pfnAddHookedMenuItem)(HookedWndInfo* pInfo);
extern void (*pfnRemoveHookedItem)(HookedWndInfo* pInfo, BOOL bRedraw);
extern void (*pfnSleep)(DWORD dwMilliseconds);
}  // namespace hook_seams

// Answered by HookProc for the sample hosts and the tests: whether and how a
// window is hooked, without a way through the module's exports.
constexpr char kTestQueryMessageName[] = "PvPfcW32.TestQuery";
enum TestQuery : WPARAM {
    kTestQueryIdentity = 0,    // kTestQueryAnswer | flags << 16 | host index
    kTestQueryRecordCount = 1, // kTestQueryAnswer | records in the table
    kTestQuerySendItem = 2,    // lParam: a window, sent the description below
};
constexpr LRESULT kTestQueryAnswer = 0x40000000;

// The send item of a hooked window described to the asking window with
// WM_COPYDATA, one line each: "item <left> <top> <right> <bottom>" (the menu
// bar item or the button, on the screen), "cmd <position> <identifier>", and
// "line <depth> <identifier> <flags> <text>" for each item of the send popup
// in order. Menus of one process cannot be read from another under Wine, so
// the module tells it from inside the host.
constexpr unsigned kSendItemLineSeparator = 0x1;
constexpr unsigned kSendItemLineGrayed = 0x2;
void ReportSendItem(HookedWndInfo* pInfo, HWND hAsker);
extern UINT g_uTestQueryMsg;

// The distributor's menu item set: loaded once per process at module start
// from the resource module and the side file in the Windows directory, its
// items placed in the send popup, and an item's command opened through the
// shell.
#pragma once

#include <windows.h>

#include <cstdint>

#include "docengine/document_set.h"
#include "suite/library_error.h"
#include "resource_ids.h"

constexpr UINT kOemMenuSlot = 22;
constexpr DWORD kOemSideFileBlock = 32768;
constexpr LONGLONG kOemSideFileLimit = 1024 * 1024;  // larger side files are ignored
// What the side file's set may expand to while it is loaded and its menu
// table read: it is read in every host process. A set that would expand
// further is refused as a bad set.
constexpr std::uint64_t kOemSetExpansionBound = 4 * 1024 * 1024;
constexpr size_t kOemCommandSize = 256;

// The process's set; it lives from module start to module end.
extern docengine::DocumentSet OemMenuSet;

// Empties the set and tags it with "Settings"/"OEMID" of the application's
// registry profile (default 0: no pinned id).
void ReadOemId(docengine::DocumentSet* pSet);
// The built-in set (resource 27170 of type 256), then the side file of slot
// nSlot. Returns the code of the final merge.
LibraryErrorCode LoadOemMenuSet(docengine::DocumentSet* pSet, UINT nSlot);
void LoadOemSideFile(docengine::DocumentSet* pSet, UINT nSlot);
// The side file's path for a slot: the Windows directory and "QoviView.a22"
// for slot 22. pszPath holds MAX_PATH characters.
void MakeOemSideFilePath(UINT nSlot, char* pszPath);
// Releases the process's set (module exit, before the library stops).
void FreeOemMenuSet();
// Reads the menu table of OemMenuSet once, for every thread to read from
// then on; module start calls it after the set is loaded.
void PrepareOemMenuItems();

HMENU FindMenuWithCommand(HMENU hMenu, UINT uId);
HMENU PrepareOemMenuPosition(HMENU hPopup);
// For OemMenuSet both use the table read at module start, and may be called
// from any thread.
void InsertOemMenuItems(docengine::DocumentSet* pSet, HMENU hPopup);
const char* GetOemCommandText(docengine::DocumentSet* pSet, UINT uId);
// The command of the item uId (27170..27179) of OemMenuSet, opened through
// the shell with hWnd as owner.
void RunOemCommand(HWND hWnd, UINT uId);
// A command made ready to open: the first two "%s" become empty, every other
// character is copied as it stands, the result cut at 255 characters.
void ExpandOemCommand(const char* pszCommand, char (&szOut)[kOemCommandSize]);

// Lets the engine find the blank template "~BLANK.TMP" of type "PAVFILE" in
// the process's executable, from which GIF images are wrapped.
void InstallBlankTemplateProvider();

// The send commands that do not print the host's document: the mail job
// handed to the sending program (or, without a mail system, a copy of the
// suite's viewer saved where the user chooses), and the phone book.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"
#include "resource_ids.h"

namespace send {

constexpr char kJobTextPrefix[] = "{coversubject} ";
constexpr char kJobFilePrefix[] = "~PFCW";
constexpr WORD kJobRecordType = 1;
constexpr DWORD kJobReservedBytes = 552;
// Letters "d" and "e" and the number 6.
constexpr DWORD kJobLaunchFlags = 0x6600;
constexpr char kViewerFileName[] = "Yarrow.exe";
constexpr char kPhonebookBrowseSwitch[] = "/B";

// The job file, in three steps. The path serves the messages only; the
// first step opens the file into hFile and the last closes it, whatever it
// wrote. Each shows its own failure message and returns false.
bool WriteJobHeader(const char* pszPath, WORD wRecordType, const char* pszText, platform::unique_file& hFile);
bool WriteJobBlock(const char* pszPath, const BYTE* pBlock, DWORD cbBlock, platform::unique_file& hFile);
bool WriteJobText(const char* pszPath, const char* pszText, platform::unique_file& hFile);

// The common file dialog. pszPath (260 characters) holds the proposed full
// path and receives the chosen one; the filter separates its parts with '|'.
// True only when the user confirmed.
bool AskFileName(char* pszPath, const char* pszFilter, UINT uTitleId, bool bForOpening,
                 DWORD* pdwFilterIndex = nullptr);

void SendByMail();
// Mode 0 opens the phone book for browsing ("/B"), any other mode plainly.
void OpenPhonebook(HWND hWnd, int nMode);

}  // namespace send

// Safe mode: the incidents of the programs the send command serves, and the
// quarantine of a program that keeps dying while it carries the command.
//
// An incident is a fault the module's guard took in a host, or a served
// process that ended through an unhandled exception. Incidents are kept per
// user in the suite key, one REG_BINARY value per executable under
// kIncidentKeyPath, so that a quarantine survives logoff and restart:
//   DWORD magic, DWORD flags (bit 0: quarantined), DWORD count,
//   count x { DWORD time low, DWORD time high (UTC FILETIME), DWORD code }
// Only the last two incidents are kept: the rule needs no more.
// Writers (the controllers of both bitnesses, the settings dialog, pfcctl
// --release) change a value only under kSafeModeMutexName.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace safe_mode {

constexpr char kIncidentKeyPath[] = "SOFTWARE\\VORLAND\\PARVANE\\SafeMode";
// Two incidents of one program this close together put it in quarantine.
constexpr ULONGLONG kQuarantineWindow100ns = 24ULL * 60 * 60 * 10000000;
constexpr int kKeptIncidents = 2;

struct Incident {
    ULONGLONG ullTime;  // UTC FILETIME
    DWORD dwCode;       // the fault's or the exit's NTSTATUS
};

struct ProgramRecord {
    std::string name;  // upper-case executable file name
    bool bQuarantined = false;
    std::vector<Incident> incidents;  // oldest first
};

// An exit code as the system sets it when a process dies of an unhandled
// exception: an NTSTATUS of the error class (top two bits set).
constexpr bool IsExceptionExitCode(DWORD dwExitCode) { return dwExitCode >= 0xC0000000u; }

ULONGLONG CurrentTime();

// Adds an incident to the program's record; true when this one put the
// program into quarantine (it was not in it before).
bool RecordIncident(const std::string& name, DWORD dwCode, ULONGLONG ullTime);
// Every program with a record, by name.
std::vector<ProgramRecord> ReadRecords();
std::vector<std::string> QuarantinedPrograms();
// Lifts the quarantine and clears the incidents; false when the program had
// no record.
bool Release(const std::string& name);
// Every record goes; the number of records released.
int ReleaseAll();

// The names in the key-list form of the shared block ("A\0B\0\0"), cut to
// cbList like the profile's lists.
void FormatKeyList(const std::vector<std::string>& names, char* pszList, size_t cbList);
// Whether name is one of the key list's names; never reads past cbList.
bool KeyListHolds(const char* pszList, size_t cbList, const char* pszName);

// [PFCWatch] "SafeMode" of the profile: "0" turns incidents and quarantine
// off; missing means on.
bool IsSafeModeOn(const char* pszProfilePath);

// "2025-01-31 13:45:07" in local time, and "0xC0000005".
std::string FormatTime(ULONGLONG ullTime);
std::string FormatCode(DWORD dwCode);

}  // namespace safe_mode

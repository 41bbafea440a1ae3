#include "suite/safe_mode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hook/base/hook_names.h"
#include "platform/unique_handle.h"

namespace safe_mode {
namespace {

constexpr DWORD kRecordMagic = 0x31494D53;  // "SMI1"
constexpr DWORD kFlagQuarantined = 0x1;
constexpr DWORD kIncidentBytes = 12;
constexpr DWORD kHeaderBytes = 12;
// The record is changed in microseconds; a holder stuck longer than this is
// not waited for (the incident is then lost, never the host).
constexpr DWORD kLockTimeoutMs = 5000;
constexpr int kNameChars = 260;

DWORD GetDword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

void PutDword(std::vector<BYTE>& bytes, DWORD dw) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(dw >> (8 * i)));
}

// Only a writer makes the key: a look at the incidents leaves the user's
// suite key as it found it.
platform::unique_hkey OpenStore(REGSAM access) {
    platform::unique_hkey hKey;
    if (access == KEY_READ)
        RegOpenKeyExA(HKEY_CURRENT_USER, kIncidentKeyPath, 0, access, hKey.put());
    else
        RegCreateKeyExA(HKEY_CURRENT_USER, kIncidentKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                        hKey.put(), nullptr);
    return hKey;
}

// A value that is not a record of ours reads as no record at all.
bool ReadRecord(HKEY hKey, const char* pszName, ProgramRecord* pRecord) {
    BYTE abData[kHeaderBytes + kKeptIncidents * kIncidentBytes] = {};
    DWORD dwType = 0;
    DWORD cb = sizeof abData;
    if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, abData, &cb) != ERROR_SUCCESS || dwType != REG_BINARY ||
        cb < kHeaderBytes || GetDword(abData) != kRecordMagic)
        return false;
    const DWORD nCount = GetDword(abData + 8);
    if (nCount > kKeptIncidents || cb < kHeaderBytes + nCount * kIncidentBytes) return false;
    pRecord->name = pszName;
    pRecord->bQuarantined = (GetDword(abData + 4) & kFlagQuarantined) != 0;
    pRecord->incidents.clear();
    for (DWORD i = 0; i < nCount; ++i) {
        const BYTE* p = abData + kHeaderBytes + i * kIncidentBytes;
        pRecord->incidents.push_back({static_cast<ULONGLONG>(GetDword(p + 4)) << 32 | GetDword(p), GetDword(p + 8)});
    }
    return true;
}

void WriteRecord(HKEY hKey, const ProgramRecord& record) {
    std::vector<BYTE> bytes;
    PutDword(bytes, kRecordMagic);
    PutDword(bytes, record.bQuarantined ? kFlagQuarantined : 0);
    PutDword(bytes, static_cast<DWORD>(record.incidents.size()));
    for (const Incident& incident : record.incidents) {
        PutDword(bytes, static_cast<DWORD>(incident.ullTime));
        PutDword(bytes, static_cast<DWORD>(incident.ullTime >> 32));
        PutDword(bytes, incident.dwCode);
    }
    RegSetValueExA(hKey, record.name.c_str(), 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::vector<std::string> ValueNames(HKEY hKey) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char szName[kNameChars] = {};
        DWORD cch = kNameChars;
        if (RegEnumValueA(hKey, i, szName, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(szName, cch);
    }
    return names;
}

// Every change of the store is one read, one decision and one write of a
// value, under the lock that both bitnesses' controllers and the settings
// share.
class StoreLock {
public:
    StoreLock() : m_hMutex(CreateMutexA(nullptr, FALSE, kSafeModeMutexName)), m_lock(m_hMutex.get(), kLockTimeoutMs) {}
    bool held() const { return m_lock.held(); }

private:
    platform::unique_handle m_hMutex;
    platform::MutexLock m_lock;
};

}  // namespace

ULONGLONG CurrentTime() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

bool RecordIncident(const std::string& name, DWORD dwCode, ULONGLONG ullTime) {
    if (name.empty() || name.size() >= kNameChars) return false;
    StoreLock lock;
    if (!lock.held()) return false;
    platform::unique_hkey hKey = OpenStore(KEY_READ | KEY_WRITE);
    if (!hKey) return false;
    ProgramRecord record;
    if (!ReadRecord(hKey.get(), name.c_str(), &record)) record = ProgramRecord{name, false, {}};
    record.incidents.push_back({ullTime, dwCode});
    if (record.incidents.size() > static_cast<size_t>(kKeptIncidents)) record.incidents.erase(record.incidents.begin());
    const bool bWasQuarantined = record.bQuarantined;
    if (record.incidents.size() == static_cast<size_t>(kKeptIncidents)) {
        const ULONGLONG ullFirst = record.incidents[0].ullTime;
        const ULONGLONG ullSecond = record.incidents[1].ullTime;
        // A clock put back leaves the earlier incident later; the distance counts.
        const ULONGLONG ullApart = ullSecond >= ullFirst ? ullSecond - ullFirst : ullFirst - ullSecond;
        if (ullApart <= kQuarantineWindow100ns) record.bQuarantined = true;
    }
    WriteRecord(hKey.get(), record);
    return record.bQuarantined && !bWasQuarantined;
}

std::vector<ProgramRecord> ReadRecords() {
    std::vector<ProgramRecord> records;
    platform::unique_hkey hKey = OpenStore(KEY_READ);
    if (!hKey) return records;
    for (const std::string& name : ValueNames(hKey.get())) {
        ProgramRecord record;
        if (ReadRecord(hKey.get(), name.c_str(), &record)) records.push_back(record);
    }
    std::sort(records.begin(), records.end(),
              [](const ProgramRecord& a, const ProgramRecord& b) { return a.name < b.name; });
    return records;
}

std::vector<std::string> QuarantinedPrograms() {
    std::vector<std::string> names;
    for (const ProgramRecord& record : ReadRecords())
        if (record.bQuarantined) names.push_back(record.name);
    return names;
}

bool Release(const std::string& name) {
    StoreLock lock;
    platform::unique_hkey hKey = OpenStore(KEY_READ | KEY_WRITE);
    if (!hKey) return false;
    // Names are upper case in the store; a person may type them otherwise.
    for (const std::string& stored : ValueNames(hKey.get())) {
        if (lstrcmpiA(stored.c_str(), name.c_str()) == 0)
            return RegDeleteValueA(hKey.get(), stored.c_str()) == ERROR_SUCCESS;
    }
    return false;
}

int ReleaseAll() {
    StoreLock lock;
    platform::unique_hkey hKey = OpenStore(KEY_READ | KEY_WRITE);
    if (!hKey) return 0;
    int nReleased = 0;
    for (const std::string& name : ValueNames(hKey.get()))
        if (RegDeleteValueA(hKey.get(), name.c_str()) == ERROR_SUCCESS) ++nReleased;
    return nReleased;
}

void FormatKeyList(const std::vector<std::string>& names, char* pszList, size_t cbList) {
    std::memset(pszList, 0, cbList);
    size_t nPos = 0;
    for (const std::string& name : names) {
        // The name, its terminator and the list's closing empty name must fit.
        if (nPos + name.size() + 2 > cbList) break;
        std::memcpy(pszList + nPos, name.c_str(), name.size());
        nPos += name.size() + 1;
    }
}

bool KeyListHolds(const char* pszList, size_t cbList, const char* pszName) {
    const size_t cchName = std::strlen(pszName);
    size_t nPos = 0;
    while (nPos < cbList && pszList[nPos] != '\0') {
        const void* pNul = std::memchr(pszList + nPos, '\0', cbList - nPos);
        if (pNul == nullptr) return false;
        const size_t nEnd = static_cast<size_t>(static_cast<const char*>(pNul) - pszList);
        if (nEnd - nPos == cchName && std::memcmp(pszList + nPos, pszName, cchName) == 0) return true;
        nPos = nEnd + 1;
    }
    return false;
}

bool IsSafeModeOn(const char* pszProfilePath) {
    char szValue[4] = {};
    GetPrivateProfileStringA("PFCWatch", "SafeMode", "", szValue, sizeof szValue, pszProfilePath);
    return szValue[0] != '0';
}

std::string FormatTime(ULONGLONG ullTime) {
    FILETIME ftUtc{static_cast<DWORD>(ullTime), static_cast<DWORD>(ullTime >> 32)};
    FILETIME ftLocal{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&ftUtc, &ftLocal) || !FileTimeToSystemTime(&ftLocal, &st)) return "?";
    char szTime[32] = {};
    std::snprintf(szTime, sizeof szTime, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return szTime;
}

std::string FormatCode(DWORD dwCode) {
    char szCode[16] = {};
    std::snprintf(szCode, sizeof szCode, "0x%08lX", static_cast<unsigned long>(dwCode));
    return szCode;
}

}  // namespace safe_mode

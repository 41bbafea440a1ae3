#include "send/printer_switch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/unique_handle.h"
#include "suite/suite_settings.h"

namespace send {
namespace {

constexpr int kDeviceChars = 260;
constexpr DWORD kRecordMagic = 0x32575350;  // "PSW2"
// A host told of the default's return answers at once or is hung: it must
// not hold up the host that restores, nor the controller.
constexpr UINT kTellHostTimeoutMs = 1000;

struct OpenSwitch {
    SwitchHolder holder;
    std::string device;
};

struct SwitchRecord {
    std::string userDefault;
    std::string lastWritten;
    std::vector<OpenSwitch> switches;
    // Hosts told of a switch since the user's default was last in place:
    // each hears when it is back, whoever puts it back. Window handles are
    // the same 32-bit values in processes of either bitness.
    std::vector<DWORD> toldWindows;
};

bool SameHolder(const SwitchHolder& a, const SwitchHolder& b) {
    return a.dwProcessId == b.dwProcessId && a.ullCreationTime == b.ullCreationTime && a.dwToken == b.dwToken;
}

ULONGLONG ProcessCreationTime(HANDLE hProcess) {
    FILETIME ftCreation{}, ftExit{}, ftKernel{}, ftUser{};
    if (!GetProcessTimes(hProcess, &ftCreation, &ftExit, &ftKernel, &ftUser)) return 0;
    return (static_cast<ULONGLONG>(ftCreation.dwHighDateTime) << 32) | ftCreation.dwLowDateTime;
}

// --- the record as one REG_BINARY value -----------------------------------

void PutDword(std::vector<BYTE>& bytes, DWORD dw) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(dw >> (8 * i)));
}
void PutString(std::vector<BYTE>& bytes, const std::string& text) {
    PutDword(bytes, static_cast<DWORD>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
}

class RecordReader {
public:
    explicit RecordReader(const std::vector<BYTE>& bytes) : m_bytes(bytes) {}
    DWORD Dword() {
        if (m_nPos + 4 > m_bytes.size()) return Fail();
        DWORD dw = 0;
        for (int i = 0; i < 4; ++i) dw |= static_cast<DWORD>(m_bytes[m_nPos + i]) << (8 * i);
        m_nPos += 4;
        return dw;
    }
    std::string String() {
        const DWORD cch = Dword();
        if (!m_bOk || cch > kDeviceChars || m_nPos + cch > m_bytes.size()) {
            Fail();
            return std::string();
        }
        std::string text(reinterpret_cast<const char*>(m_bytes.data() + m_nPos), cch);
        m_nPos += cch;
        return text;
    }
    bool ok() const { return m_bOk; }

private:
    DWORD Fail() {
        m_bOk = false;
        return 0;
    }
    const std::vector<BYTE>& m_bytes;
    size_t m_nPos = 0;
    bool m_bOk = true;
};

platform::unique_hkey OpenRecordKey() {
    platform::unique_hkey hKey;
    RegCreateKeyExA(HKEY_CURRENT_USER, kSuiteKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                    nullptr, hKey.put(), nullptr);
    return hKey;
}

// A missing or unreadable record reads as empty: no switch open.
SwitchRecord ReadRecord(HKEY hKey) {
    SwitchRecord record;
    DWORD dwType = 0;
    DWORD cb = 0;
    if (RegQueryValueExA(hKey, kPrinterSwitchValueName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
        dwType != REG_BINARY || cb < 8)
        return record;
    std::vector<BYTE> bytes(cb);
    if (RegQueryValueExA(hKey, kPrinterSwitchValueName, nullptr, &dwType, bytes.data(), &cb) != ERROR_SUCCESS)
        return record;
    bytes.resize(cb);
    RecordReader reader(bytes);
    if (reader.Dword() != kRecordMagic) return SwitchRecord{};
    const DWORD nSwitches = reader.Dword();
    record.userDefault = reader.String();
    record.lastWritten = reader.String();
    for (DWORD i = 0; i < nSwitches && reader.ok(); ++i) {
        OpenSwitch entry{};
        entry.holder.dwProcessId = reader.Dword();
        entry.holder.dwToken = reader.Dword();
        const DWORD dwLow = reader.Dword();
        entry.holder.ullCreationTime = (static_cast<ULONGLONG>(reader.Dword()) << 32) | dwLow;
        entry.device = reader.String();
        record.switches.push_back(entry);
    }
    const DWORD nTold = reader.Dword();
    for (DWORD i = 0; i < nTold && reader.ok(); ++i) record.toldWindows.push_back(reader.Dword());
    return reader.ok() ? record : SwitchRecord{};
}

// No switch open: the record goes, so nothing is left to misread later.
void WriteRecord(HKEY hKey, const SwitchRecord& record) {
    if (record.switches.empty()) {
        RegDeleteValueA(hKey, kPrinterSwitchValueName);
        return;
    }
    std::vector<BYTE> bytes;
    PutDword(bytes, kRecordMagic);
    PutDword(bytes, static_cast<DWORD>(record.switches.size()));
    PutString(bytes, record.userDefault);
    PutString(bytes, record.lastWritten);
    for (const OpenSwitch& entry : record.switches) {
        PutDword(bytes, entry.holder.dwProcessId);
        PutDword(bytes, entry.holder.dwToken);
        PutDword(bytes, static_cast<DWORD>(entry.holder.ullCreationTime));
        PutDword(bytes, static_cast<DWORD>(entry.holder.ullCreationTime >> 32));
        PutString(bytes, entry.device);
    }
    PutDword(bytes, static_cast<DWORD>(record.toldWindows.size()));
    for (DWORD dwWindow : record.toldWindows) PutDword(bytes, dwWindow);
    RegSetValueExA(hKey, kPrinterSwitchValueName, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Drops the switches of processes that have ended. When that leaves none
// open and WIN.INI still shows what the module wrote, the user's own default
// is written back: a host died between its switch and its restore.
void DropDeadSwitches(SwitchRecord& record) {
    const size_t nBefore = record.switches.size();
    std::vector<OpenSwitch> alive;
    for (const OpenSwitch& entry : record.switches)
        if (IsHolderAlive(entry.holder)) alive.push_back(entry);
    record.switches.swap(alive);
    if (nBefore == 0 || !record.switches.empty()) return;
    if (ReadDefaultPrinterDevice() == record.lastWritten && record.lastWritten != record.userDefault)
        WriteDefaultPrinterDevice(record.userDefault);
}

// Takes the told hosts out of the record once the user's default is in place
// again; the caller tells them after it let go of the record's lock.
std::vector<DWORD> TakeToldWindows(SwitchRecord& record, HWND hExcept) {
    std::vector<DWORD> told;
    if (!record.switches.empty()) return told;
    for (DWORD dwWindow : record.toldWindows)
        if (dwWindow != HandleToUlong(hExcept)) told.push_back(dwWindow);
    record.toldWindows.clear();
    return told;
}

void TellWindows(const std::vector<DWORD>& windows) {
    for (DWORD dwWindow : windows) {
        HWND hWnd = static_cast<HWND>(ULongToHandle(dwWindow));
        if (!IsWindow(hWnd)) continue;
        DWORD_PTR dwResult = 0;
        SendMessageTimeoutA(hWnd, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("windows"), SMTO_ABORTIFHUNG,
                            kTellHostTimeoutMs, &dwResult);
    }
}

std::string Truncated(const std::string& device) {
    return device.size() < kDeviceChars ? device : device.substr(0, kDeviceChars - 1);
}

}  // namespace

bool RepairAbandonedSwitches(bool bSessionEnding) {
    bool bWritten = false;
    std::vector<DWORD> told;
    {
        platform::unique_handle hMutex(CreateMutexA(nullptr, FALSE, kPrinterSwitchMutexName));
        platform::MutexLock lock(hMutex.get(), kPrinterSwitchLockTimeoutMs);
        if (!lock.held()) return false;
        platform::unique_hkey hKey = OpenRecordKey();
        if (!hKey) return false;
        SwitchRecord record = ReadRecord(hKey.get());
        if (record.switches.empty()) return false;
        const std::string before = ReadDefaultPrinterDevice();
        if (bSessionEnding) {
            // At the session's end no host gets to finish its Print command:
            // every open switch is over.
            if (before == record.lastWritten && record.lastWritten != record.userDefault)
                WriteDefaultPrinterDevice(record.userDefault);
            record.switches.clear();
        } else {
            DropDeadSwitches(record);
        }
        bWritten = ReadDefaultPrinterDevice() != before;
        told = TakeToldWindows(record, nullptr);
        WriteRecord(hKey.get(), record);
    }
    if (bWritten) TellWindows(told);
    return bWritten;
}

SwitchHolder MakeSwitchHolder() {
    static volatile LONG s_nToken = 0;
    return {GetCurrentProcessId(), ProcessCreationTime(GetCurrentProcess()),
            static_cast<DWORD>(InterlockedIncrement(&s_nToken))};
}

bool IsHolderAlive(const SwitchHolder& holder) {
    platform::unique_handle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, holder.dwProcessId));
    if (!hProcess) return false;
    DWORD dwExitCode = 0;
    if (!GetExitCodeProcess(hProcess.get(), &dwExitCode) || dwExitCode != STILL_ACTIVE) return false;
    return ProcessCreationTime(hProcess.get()) == holder.ullCreationTime;
}

std::string ReadDefaultPrinterDevice() {
    char szDevice[kDeviceChars] = {};
    GetProfileStringA("windows", "device", "", szDevice, kDeviceChars);
    return szDevice;
}

void WriteDefaultPrinterDevice(const std::string& device) {
    WriteProfileStringA("windows", "device", device.c_str());
}

std::unique_ptr<DefaultPrinterSwitch> DefaultPrinterSwitch::Open(SwitchHolder holder, HWND hHost) {
    return std::unique_ptr<DefaultPrinterSwitch>(new DefaultPrinterSwitch(holder, hHost));
}

DefaultPrinterSwitch::DefaultPrinterSwitch(SwitchHolder holder, HWND hHost)
    : m_holder(holder), m_hHost(hHost), m_undo(&DefaultPrinterSwitch::RestoreAfterFault, this) {}

void DefaultPrinterSwitch::RestoreAfterFault(void* pSwitch) {
    auto* pThis = static_cast<DefaultPrinterSwitch*>(pSwitch);
    pThis->m_undo = platform::FaultUndo();
    delete pThis;
}

DefaultPrinterSwitch::~DefaultPrinterSwitch() {
    m_undo.Settle();
    if (m_bOpen) Restore();
}

bool DefaultPrinterSwitch::Switch(const std::string& requested) {
    const std::string device = Truncated(requested);
    platform::unique_handle hMutex(CreateMutexA(nullptr, FALSE, kPrinterSwitchMutexName));
    platform::MutexLock lock(hMutex.get(), kPrinterSwitchLockTimeoutMs);
    platform::unique_hkey hKey = lock.held() ? OpenRecordKey() : platform::unique_hkey();
    if (!hKey) {
        // Alone: what a single host needs, without protection from others.
        m_bAlone = true;
        m_savedDefault = ReadDefaultPrinterDevice();
        m_device = device;
        m_bChanged = m_savedDefault != device;
        if (m_bChanged) WriteDefaultPrinterDevice(device);
        m_bOpen = m_bChanged;
        return m_bChanged;
    }

    SwitchRecord record = ReadRecord(hKey.get());
    const bool bHadSwitches = !record.switches.empty();
    DropDeadSwitches(record);
    const std::string current = ReadDefaultPrinterDevice();
    if (record.switches.empty()) record.userDefault = current;
    m_savedDefault = record.userDefault;
    // Case matters: a name that differs only in case is another string to
    // the programs that read it.
    m_bChanged = current != device;
    if (!m_bChanged && record.switches.empty()) {
        // Already the user's own default and nobody else switched: nothing
        // to do and nothing to put back.
        if (bHadSwitches) WriteRecord(hKey.get(), record);
        return false;
    }
    if (m_bChanged) {
        WriteDefaultPrinterDevice(device);
        record.lastWritten = device;
        // Its host is told of the switch by the caller.
        const DWORD dwHost = HandleToUlong(m_hHost);
        if (m_hHost != nullptr &&
            std::find(record.toldWindows.begin(), record.toldWindows.end(), dwHost) == record.toldWindows.end())
            record.toldWindows.push_back(dwHost);
    }
    record.switches.push_back({m_holder, device});
    WriteRecord(hKey.get(), record);
    m_device = device;
    m_bOpen = true;
    return m_bChanged;
}

bool DefaultPrinterSwitch::Restore() {
    if (!m_bOpen) return false;
    m_bOpen = false;
    if (m_bAlone) {
        // A default the user chose meanwhile stays.
        if (ReadDefaultPrinterDevice() != m_device) return false;
        WriteDefaultPrinterDevice(m_savedDefault);
        return true;
    }
    std::vector<DWORD> told;
    const bool bTellHost = RestoreListed(&told);
    // The other hosts that were told of a switch hear that the user's
    // default is back, whichever host ends last.
    TellWindows(told);
    return bTellHost;
}

bool DefaultPrinterSwitch::RestoreListed(std::vector<DWORD>* pTold) {
    platform::unique_handle hMutex(CreateMutexA(nullptr, FALSE, kPrinterSwitchMutexName));
    platform::MutexLock lock(hMutex.get(), kPrinterSwitchLockTimeoutMs);
    platform::unique_hkey hKey = lock.held() ? OpenRecordKey() : platform::unique_hkey();
    if (!hKey) {
        // Without the record, at least the user's default comes back, unless
        // the user chose another one meanwhile.
        if (!m_bChanged || ReadDefaultPrinterDevice() != m_device) return false;
        WriteDefaultPrinterDevice(m_savedDefault);
        return true;
    }

    SwitchRecord record = ReadRecord(hKey.get());
    bool bListed = false;
    for (auto it = record.switches.begin(); it != record.switches.end(); ++it) {
        if (SameHolder(it->holder, m_holder)) {
            record.switches.erase(it);
            bListed = true;
            break;
        }
    }
    DropDeadSwitches(record);
    // The record went while we printed (the key was removed): what we saved
    // is all that is known of the user's default.
    if (!bListed && record.switches.empty()) record.userDefault = m_savedDefault;
    std::string target = record.switches.empty() ? record.userDefault : record.switches.back().device;
    const std::string current = ReadDefaultPrinterDevice();
    if (current != record.lastWritten) {
        // The user chose a default while the switch was open: that choice
        // stands, now and after the other switches end.
        target = current;
        record.userDefault = current;
    } else if (current != target) {
        WriteDefaultPrinterDevice(target);
        record.lastWritten = target;
    }
    *pTold = TakeToldWindows(record, m_hHost);
    WriteRecord(hKey.get(), record);
    // The host believes the device it printed to is the default; it hears
    // of the change only when that belief is now wrong.
    return target != m_device;
}

}  // namespace send

// The opt-in trace: labels reach the debugger output only when the profile
// asks for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hook/module_lifetime.h"
#include "config/profile.h"
#include "hook/base/trace.h"
#include "hook_test_support.h"
#include "platform/unique_handle.h"
#include "shared_lists.h"
#include "suite_key_sandbox.h"
#include "window_tree.h"

namespace {

// What a debug-output viewer does without being a debugger: it offers the
// shared buffer that OutputDebugString fills when no debugger is attached,
// and takes each string from it.
class DebugOutputListener {
public:
    DebugOutputListener()
        : m_bufferReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
          m_dataReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
          m_mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, "DBWIN_BUFFER")),
          m_pBuffer(m_mapping ? MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, kBufferSize) : nullptr) {
        if (m_pBuffer != nullptr) m_thread = std::thread([this] { Listen(); });
    }
    ~DebugOutputListener() {
        m_bStop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_pBuffer != nullptr) UnmapViewOfFile(m_pBuffer);
    }
    DebugOutputListener(const DebugOutputListener&) = delete;
    DebugOutputListener& operator=(const DebugOutputListener&) = delete;

    bool Listening() const { return m_pBuffer != nullptr; }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    static constexpr DWORD kBufferSize = 4096;

    void Listen() {
        SetEvent(m_bufferReady.get());
        while (!m_bStop) {
            if (WaitForSingleObject(m_dataReady.get(), 50) != WAIT_OBJECT_0) continue;
            const auto* pBytes = static_cast<const char*>(m_pBuffer);
            const DWORD dwProcessId = *reinterpret_cast<const DWORD*>(pBytes);
            std::string text(pBytes + sizeof(DWORD), strnlen(pBytes + sizeof(DWORD), kBufferSize - sizeof(DWORD)));
            if (dwProcessId == GetCurrentProcessId()) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back(text);
            }
            SetEvent(m_bufferReady.get());
        }
    }

    platform::unique_handle m_bufferReady;
    platform::unique_handle m_dataReady;
    platform::unique_handle m_mapping;
    void* m_pBuffer;
    std::thread m_thread;
    volatile bool m_bStop = false;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

BOOL FaultingAdd(HookedWndInfo*) {
    *static_cast<volatile int*>(nullptr) = 0;
    return TRUE;
}
constexpr ItemPlacer kFaultingPlacer = {FaultingAdd, [](HookedWndInfo*, BOOL) {}, [](HookedWndInfo*) {}};

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(wanted) != std::string::npos; });
}

TEST(TraceTest, LabelsReachTheDebugOutputOnlyWhenTheProfileSwitchesThemOn) {
    DebugOutputListener listener;
    ASSERT_TRUE(listener.Listening());
    for (const char* pszSetting : {"0", "1"}) {
        const bool bOn = pszSetting[0] == '1';
        test_support::TempDirectory dir;
        test_support::SharedListsScope lists;
        const std::string ini = dir.AddFile("PvPfcW32.ini", std::string("[PFCWatch]\r\nTrace=") + pszSetting + "\r\n");
        lstrcpynA(g_szIniPath, ini.c_str(), kPathSize);
        lists.Include({"Tests (WIN_UNIT_TESTS)"});
        lists.Modules({"A.EXE", "B.EXE", "C.EXE"});
        LoadDiagnosticSettings();
        EXPECT_EQ(g_bTraceEnabled, bOn) << pszSetting;

        test_support::HookSeamRecorder seams;
        ScopedItemPlacer faulting(kFaultingPlacer);
        test_support::WindowTree tree;
        HWND hWnd = tree.Top("PfcTraceHost", true, true);
        ShellProc(HSHELL_WINDOWCREATED, reinterpret_cast<WPARAM>(hWnd), 0);
        UnhookAllWindows();

        char szWhere[64];
        std::snprintf(szWhere, sizeof szWhere, "pid %lu hwnd %p: ", GetCurrentProcessId(), static_cast<void*>(hWnd));
        const std::vector<std::string> kLabels = {"NEW TryToHookThisWnd", "WM_INITMENUPOPUP AddHookedMenuItem",
                                                  "ShellProc CAP_CATCH"};
        // A line of the test's own after the module's: the buffer passes one
        // line at a time, so once this one has arrived every line the
        // module wrote before it has too.
        const std::string marker = std::string("test marker, trace ") + pszSetting;
        OutputDebugStringA(marker.c_str());
        std::vector<std::string> lines;
        const DWORD dwStart = GetTickCount();
        while (!HasLine(lines = listener.Lines(), marker) && GetTickCount() - dwStart < 5000) Sleep(20);
        ASSERT_TRUE(HasLine(lines, marker)) << pszSetting;
        if (!bOn) {
            EXPECT_FALSE(HasLine(lines, "PVPFCW32")) << lines.front();
            continue;
        }
        for (const std::string& label : kLabels) {
            EXPECT_TRUE(HasLine(lines, szWhere + label)) << label;
        }
    }
    g_bTraceEnabled = false;
}

}  // namespace

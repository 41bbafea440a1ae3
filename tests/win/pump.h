// The one wait of the Windows tests that runs the thread's messages: windows
// of the test's own thread get their timers, posted messages and paints while
// it waits for the state it checks.
#pragma once

#include <windows.h>

namespace test_support {

// Runs this thread's messages until the condition holds; false after the
// timeout.
template <class Condition>
bool PumpUntil(Condition condition, DWORD dwTimeoutMs = 5000) {
    const DWORD dwStart = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition()) return true;
        if (GetTickCount() - dwStart > dwTimeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace test_support

// The answer to the test query's send-item question, told from inside the
// host (the lines are described beside kTestQuerySendItem).
#pragma once

#include <windows.h>

struct HookedWndInfo;
void ReportSendItem(HookedWndInfo* pInfo, HWND hAsker);

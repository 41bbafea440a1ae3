// Modules of the build tree that in-process tests load by path: they are not
// installed where the system would find them by name.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// <build>\tests\win\win_unit_tests.exe -> <build>\<relative>
inline std::string BuildTreePath(const char* pszRelative) {
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path = szPath;
    for (int i = 0; i < 3; ++i) path.erase(path.find_last_of('\\'));
    return path + "\\" + pszRelative;
}

inline HMODULE LoadBuiltResourceModule() { return LoadLibraryA(BuildTreePath("resources\\PavRes32.dll").c_str()); }

}  // namespace test_support

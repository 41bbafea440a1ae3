#include "platform/system_library.h"

#include <cstring>

namespace platform {

unique_hmodule LoadSystemLibrary(const char* pszFileName) {
    char szPath[MAX_PATH];
    const UINT cchFolder = GetSystemDirectoryA(szPath, MAX_PATH);
    const size_t cchName = std::strlen(pszFileName);
    if (cchFolder == 0 || cchFolder + 1 + cchName + 1 > MAX_PATH) return unique_hmodule();
    szPath[cchFolder] = '\\';
    std::memcpy(szPath + cchFolder + 1, pszFileName, cchName + 1);
    return unique_hmodule(LoadLibraryExA(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace platform

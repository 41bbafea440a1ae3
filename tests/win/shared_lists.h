// Sets the module and include lists of the shared section for a test and puts
// back what was there.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "hook/base/shared_state.h"

namespace test_support {

inline void WriteKeyList(char (&list)[kSharedListSize], const std::vector<std::string>& entries) {
    std::memset(list, 0, sizeof list);
    size_t nOffset = 0;
    for (const std::string& entry : entries) {
        std::memcpy(list + nOffset, entry.c_str(), entry.size() + 1);
        nOffset += entry.size() + 1;
    }
}

class SharedListsScope {
public:
    SharedListsScope() {
        std::memcpy(m_modules, g_szModuleList, sizeof m_modules);
        std::memcpy(m_include, g_szIncludeList, sizeof m_include);
        std::memcpy(m_iniPath, g_szIniPath, sizeof m_iniPath);
    }
    ~SharedListsScope() {
        std::memcpy(g_szModuleList, m_modules, sizeof m_modules);
        std::memcpy(g_szIncludeList, m_include, sizeof m_include);
        std::memcpy(g_szIniPath, m_iniPath, sizeof m_iniPath);
    }
    SharedListsScope(const SharedListsScope&) = delete;
    SharedListsScope& operator=(const SharedListsScope&) = delete;

    void Modules(const std::vector<std::string>& entries) { WriteKeyList(g_szModuleList, entries); }
    void Include(const std::vector<std::string>& entries) { WriteKeyList(g_szIncludeList, entries); }

private:
    char m_modules[kSharedListSize];
    char m_include[kSharedListSize];
    char m_iniPath[kPathSize];
};

}  // namespace test_support

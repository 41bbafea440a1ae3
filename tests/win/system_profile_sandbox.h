// Test helpers for the user's shared settings outside the suite key: entries
// of WIN.INI and registry values of other keys. Each saves what it touches
// and puts it back (or removes it) when it goes.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace test_support {

class WinIniSandbox {
public:
    WinIniSandbox() = default;
    ~WinIniSandbox() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            WriteProfileStringA(it->section.c_str(), it->key.c_str(), it->bExisted ? it->value.c_str() : nullptr);
    }
    WinIniSandbox(const WinIniSandbox&) = delete;
    WinIniSandbox& operator=(const WinIniSandbox&) = delete;

    // Sets (or, with null, removes) an entry for the test's duration.
    void Set(const char* pszSection, const char* pszKey, const char* pszValue) {
        Save(pszSection, pszKey);
        WriteProfileStringA(pszSection, pszKey, pszValue);
    }
    static std::string Get(const char* pszSection, const char* pszKey) {
        char szValue[1024] = {};
        GetProfileStringA(pszSection, pszKey, "", szValue, sizeof szValue);
        return szValue;
    }

private:
    struct Saved {
        std::string section;
        std::string key;
        bool bExisted;
        std::string value;
    };
    void Save(const char* pszSection, const char* pszKey) {
        char szValue[1024] = {};
        const char kAbsent[] = "<absent entry>";
        GetProfileStringA(pszSection, pszKey, kAbsent, szValue, sizeof szValue);
        const bool bExisted = lstrcmpA(szValue, kAbsent) != 0;
        m_saved.push_back({pszSection, pszKey, bExisted, bExisted ? szValue : ""});
    }
    std::vector<Saved> m_saved;
};

// A string value (the default value when pszName is null) of any key, set
// for the test's duration; the keys it had to create are removed again.
class RegistryValueSandbox {
public:
    RegistryValueSandbox(HKEY hRoot, const std::string& keyPath, const char* pszName)
        : m_hRoot(hRoot), m_keyPath(keyPath), m_name(pszName != nullptr ? pszName : ""), m_bNamed(pszName != nullptr) {
        for (size_t nEnd = keyPath.find('\\'); ; nEnd = keyPath.find('\\', nEnd + 1)) {
            const std::string prefix = keyPath.substr(0, nEnd);
            HKEY hPrefix = nullptr;
            if (RegOpenKeyExA(hRoot, prefix.c_str(), 0, KEY_READ, &hPrefix) == ERROR_SUCCESS)
                RegCloseKey(hPrefix);
            else
                m_createdKeys.push_back(prefix);
            if (nEnd == std::string::npos) break;
        }
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, keyPath.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
            m_bKeyExisted = true;
            DWORD cb = 0;
            if (RegQueryValueExA(hKey, NamePtr(), nullptr, &m_dwType, nullptr, &cb) == ERROR_SUCCESS) {
                m_saved.resize(cb);
                m_bValueExisted =
                    RegQueryValueExA(hKey, NamePtr(), nullptr, &m_dwType, m_saved.data(), &cb) == ERROR_SUCCESS;
            }
            RegCloseKey(hKey);
        }
    }
    ~RegistryValueSandbox() {
        if (!m_bKeyExisted) {
            for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it) RegDeleteKeyA(m_hRoot, it->c_str());
            return;
        }
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(m_hRoot, m_keyPath.c_str(), 0, KEY_WRITE, &hKey) != ERROR_SUCCESS) return;
        if (m_bValueExisted)
            RegSetValueExA(hKey, NamePtr(), 0, m_dwType, m_saved.data(), static_cast<DWORD>(m_saved.size()));
        else
            RegDeleteValueA(hKey, NamePtr());
        RegCloseKey(hKey);
    }
    RegistryValueSandbox(const RegistryValueSandbox&) = delete;
    RegistryValueSandbox& operator=(const RegistryValueSandbox&) = delete;

    void SetString(const std::string& value) const {
        HKEY hKey = nullptr;
        if (RegCreateKeyExA(m_hRoot, m_keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) !=
            ERROR_SUCCESS)
            return;
        RegSetValueExA(hKey, NamePtr(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(hKey);
    }
    void Remove() const {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(m_hRoot, m_keyPath.c_str(), 0, KEY_WRITE, &hKey) != ERROR_SUCCESS) return;
        RegDeleteValueA(hKey, NamePtr());
        RegCloseKey(hKey);
    }

private:
    const char* NamePtr() const { return m_bNamed ? m_name.c_str() : nullptr; }
    HKEY m_hRoot;
    std::string m_keyPath;
    std::string m_name;
    bool m_bNamed;
    bool m_bKeyExisted = false;
    bool m_bValueExisted = false;
    DWORD m_dwType = REG_SZ;
    std::vector<BYTE> m_saved;
    std::vector<std::string> m_createdKeys;  // outermost first
};

}  // namespace test_support

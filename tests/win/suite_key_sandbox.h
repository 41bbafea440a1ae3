// Test helpers for the suite key and for files on disk.
//
// SuiteKeySandbox takes a copy of "SOFTWARE\VORLAND\PARVANE" under both roots
// (as this process's registry view sees them), empties the key for the test,
// and on destruction deletes whatever the test left and writes the copy back.
// Reads of the suite key create it, so even a read-only test needs one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "suite/suite_settings.h"

namespace test_support {

struct SavedValue {
    std::string name;
    DWORD dwType;
    std::vector<BYTE> data;
};

class SuiteKeySandbox {
public:
    SuiteKeySandbox() {
        for (int nRoot = 0; nRoot < 2; ++nRoot) {
            m_saved[nRoot].bExisted = Snapshot(Root(nRoot), m_saved[nRoot].values);
            m_saved[nRoot].bParentExisted = KeyExists(Root(nRoot), "SOFTWARE\\VORLAND");
            // With its subkeys: a key that has some (safe mode's incidents,
            // recorded by an earlier end-to-end run in this prefix) is not
            // deleted by RegDeleteKey, and its values would leak into the test.
            RegDeleteTreeA(Root(nRoot), kSuiteKeyPath);
        }
    }
    ~SuiteKeySandbox() {
        for (int nRoot = 0; nRoot < 2; ++nRoot) {
            RegDeleteTreeA(Root(nRoot), kSuiteKeyPath);
            if (m_saved[nRoot].bExisted) {
                HKEY hKey = nullptr;
                if (RegCreateKeyExA(Root(nRoot), kSuiteKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) ==
                    ERROR_SUCCESS) {
                    for (const SavedValue& value : m_saved[nRoot].values)
                        RegSetValueExA(hKey, value.name.c_str(), 0, value.dwType, value.data.data(),
                                       static_cast<DWORD>(value.data.size()));
                    RegCloseKey(hKey);
                }
            } else if (!m_saved[nRoot].bParentExisted) {
                RegDeleteKeyA(Root(nRoot), "SOFTWARE\\VORLAND");
            }
        }
    }
    SuiteKeySandbox(const SuiteKeySandbox&) = delete;
    SuiteKeySandbox& operator=(const SuiteKeySandbox&) = delete;

    static void SetBinary(int nRoot, const char* pszName, std::vector<BYTE> bytes) {
        Set(nRoot, pszName, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    static void SetDword(int nRoot, const char* pszName, DWORD dwValue) {
        Set(nRoot, pszName, REG_DWORD, &dwValue, sizeof dwValue);
    }
    static void SetString(int nRoot, const char* pszName, const std::string& value, DWORD dwType = REG_SZ) {
        Set(nRoot, pszName, dwType, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    static void Set(int nRoot, const char* pszName, DWORD dwType, const void* pData, DWORD cbData) {
        HKEY hKey = nullptr;
        if (RegCreateKeyExA(Root(nRoot), kSuiteKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) !=
            ERROR_SUCCESS)
            return;
        RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
        RegCloseKey(hKey);
    }
    // The raw bytes and type of a value; an empty type REG_NONE when missing.
    static SavedValue Get(int nRoot, const char* pszName) {
        SavedValue value{pszName, REG_NONE, {}};
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(Root(nRoot), kSuiteKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return value;
        DWORD cb = 0;
        if (RegQueryValueExA(hKey, pszName, nullptr, &value.dwType, nullptr, &cb) == ERROR_SUCCESS) {
            value.data.resize(cb);
            RegQueryValueExA(hKey, pszName, nullptr, &value.dwType, value.data.data(), &cb);
        } else {
            value.dwType = REG_NONE;
        }
        RegCloseKey(hKey);
        return value;
    }

private:
    struct Saved {
        bool bExisted = false;
        bool bParentExisted = false;
        std::vector<SavedValue> values;
    };

    static HKEY Root(int nRoot) { return nRoot == kRootLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
    static bool KeyExists(HKEY hRoot, const char* pszPath) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
        RegCloseKey(hKey);
        return true;
    }
    static bool Snapshot(HKEY hRoot, std::vector<SavedValue>& values) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, kSuiteKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
        for (DWORD dwIndex = 0;; ++dwIndex) {
            char szName[16384];
            DWORD cchName = sizeof szName;
            DWORD dwType = 0;
            BYTE data[8192];
            DWORD cbData = sizeof data;
            if (RegEnumValueA(hKey, dwIndex, szName, &cchName, nullptr, &dwType, data, &cbData) != ERROR_SUCCESS)
                break;
            values.push_back({szName, dwType, std::vector<BYTE>(data, data + cbData)});
        }
        RegCloseKey(hKey);
        return true;
    }

    Saved m_saved[2];
};

// A fresh directory under the temporary directory, removed with its files.
class TempDirectory {
public:
    TempDirectory() {
        char szTemp[MAX_PATH];
        GetTempPathA(MAX_PATH, szTemp);
        char szName[64];
        wsprintfA(szName, "pfctest_%lu_%lu", GetCurrentProcessId(), static_cast<unsigned long>(++s_nCounter));
        m_path = std::string(szTemp) + szName;
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~TempDirectory() {
        for (const std::string& file : m_files) DeleteFileA(file.c_str());
        for (auto it = m_dirs.rbegin(); it != m_dirs.rend(); ++it) RemoveDirectoryA(it->c_str());
        RemoveDirectoryA(m_path.c_str());
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::string Child(const std::string& name) const { return m_path + "\\" + name; }
    std::string AddFile(const std::string& name, const std::string& contents = "") {
        const std::string full = Child(name);
        HANDLE hFile = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (hFile != INVALID_HANDLE_VALUE) {
            DWORD cbWritten = 0;
            WriteFile(hFile, contents.data(), static_cast<DWORD>(contents.size()), &cbWritten, nullptr);
            CloseHandle(hFile);
        }
        m_files.push_back(full);
        return full;
    }
    std::string AddDirectory(const std::string& name) {
        const std::string full = Child(name);
        CreateDirectoryA(full.c_str(), nullptr);
        m_dirs.push_back(full);
        return full;
    }
    // A file that the code under test creates, removed with the rest.
    std::string Track(const std::string& name) {
        m_files.push_back(Child(name));
        return Child(name);
    }

private:
    static inline unsigned s_nCounter = 0;
    std::string m_path;
    std::vector<std::string> m_files;
    std::vector<std::string> m_dirs;
};

}  // namespace test_support

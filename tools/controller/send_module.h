// The send command's module as the controller uses it: loaded from beside
// the program, its two control exports, and a read-only look at the block it
// shares with every process that maps it (the hook handle, the profile path
// and the host list that the module itself works with).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/base/shared_state.h"
#include "platform/unique_handle.h"

namespace controller {

class SendModule {
public:
    enum class Mode {
        kRun,   // start the module in this process, as a host would
        kPeek,  // map it without running its start-up, only to read the shared block
    };
    explicit SendModule(Mode mode);

    bool Loaded() const { return static_cast<bool>(m_hModule); }
    const std::string& Path() const { return m_path; }
    // Null when the module is not loaded or has no shared block.
    const SharedSection* Shared() const { return m_pShared; }
    // The controller keeps the block's lists current with its profile.
    SharedSection* SharedForWrite() const { return m_pShared; }

    // Both false when the export is missing.
    bool SetHooking(bool bHook) const;
    bool OpenConfiguration() const;

private:
    template <class Proc>
    Proc Export(const char* pszName) const;

    std::string m_path;
    platform::unique_hmodule m_hModule;
    SharedSection* m_pShared = nullptr;
};

// The host names of a shared key list ("A\0B\0\0"), never read past its end.
std::vector<std::string> SplitKeyList(const char* pszList, size_t cbList);

}  // namespace controller

// Keeping this module loaded while code outside it can still call into it.
//
// On Windows the system unloads a hook's module from a process once the hook
// is removed, whatever still points into it: a window somebody subclassed
// after us keeps calling our window procedure, and a modal loop started
// under that procedure returns into it. A ModulePin holds one loader
// reference for as long as it lives (all pins of the process share one); a
// ModuleCallScope marks a call from outside that is under way. When the last
// pin goes, the reference is given back on a short thread of its own, once
// no call is under way, with FreeLibraryAndExitThread: never a FreeLibrary
// of ourselves followed by a return into our code.
#pragma once

#include <windows.h>

namespace platform {

class ModulePin {
public:
    ModulePin() noexcept;
    ~ModulePin();
    ModulePin(ModulePin&& other) noexcept;
    ModulePin& operator=(ModulePin&& other) noexcept;
    ModulePin(const ModulePin&) = delete;
    ModulePin& operator=(const ModulePin&) = delete;

private:
    bool m_bHeld;
};

class ModuleCallScope {
public:
    ModuleCallScope() noexcept;
    ~ModuleCallScope();
    ModuleCallScope(const ModuleCallScope&) = delete;
    ModuleCallScope& operator=(const ModuleCallScope&) = delete;
};

// Pins alive in this process, and whether the shared loader reference is held.
LONG CountModulePins();
bool HoldsModuleReference();

}  // namespace platform

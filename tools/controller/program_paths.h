// Where the controller finds its parts: the module, the resource module and
// the profile lie beside the program; the 64-bit twin of the 32-bit program
// lies in the x64 folder below it.
#pragma once

#include <string>

namespace controller {

// "32" or "64": the bitness of this program and of the module it loads.
const char* OwnBitness();
bool Is64BitProgram();
// True when this program runs on a 64-bit system, whatever its own bitness.
bool IsOn64BitSystem();

std::string ProgramDirectory();
// The suite's folder: the program's, or its parent for the 64-bit
// controller installed in x64\.
std::string SuiteDirectory();
std::string ModulePath();          // <program dir>\PVPFCW32.dll
std::string ProfilePath();         // <suite dir>\PvPfcW32.ini
std::string DefaultProfilePath();  // <suite dir>\PvPfcW32.default.ini
std::string TwinProgramPath();     // <program dir>\x64\pfcctl.exe

// The hidden window of a running controller of the given bitness.
const char* ControllerWindowClass(bool b64Bit);
// Exists while a controller of this program's bitness holds the hook.
const char* OwnInstanceMutexName();
const char* InstanceMutexName(bool b64Bit);

}  // namespace controller

// Data seen by every process that maps the module. Under MSVC the section is
// declared with data_seg and given read/write/shared by the linker comment;
// GCC marks the variable itself.
#pragma once

#if defined(_MSC_VER)
#define PFC_SHARED_SECTION_BEGIN __pragma(data_seg(".shared"))
#define PFC_SHARED_SECTION_END __pragma(data_seg()) __pragma(comment(linker, "/SECTION:.shared,RWS"))
#define PFC_SHARED_VARIABLE
#else
#define PFC_SHARED_SECTION_BEGIN
#define PFC_SHARED_SECTION_END
#define PFC_SHARED_VARIABLE __attribute__((section(".shared"), shared))
#endif

# The Windows side: the module, its resource module, the suite's programs
# and stand-ins, sample hosts, and the tests that run under Wine.

if(NOT MSVC)
  enable_language(ASM)
endif()

set(PFC_SYSTEM_LIBS user32 gdi32 advapi32 shell32 comdlg32 ole32 uuid)

# googletest, cross-built with the same toolchain and runtime flags.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(PFC_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "googletest sources, built with the module's toolchain")
add_subdirectory(${PFC_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Everything of the module but its entry point, so that the in-process tests
# link the same code the module runs.
set(PFC_MODULE_DIRS platform suite config hook/base hook toolbar menu send oem)
set(PFC_MODULE_SOURCES)
foreach(dir ${PFC_MODULE_DIRS})
  file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  list(APPEND PFC_MODULE_SOURCES ${dir_sources})
  # Hand-written exception frames of the fault guard; MSVC has __try instead.
  if(NOT MSVC)
    file(GLOB dir_asm CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.S)
    list(APPEND PFC_MODULE_SOURCES ${dir_asm})
  endif()
endforeach()
list(REMOVE_ITEM PFC_MODULE_SOURCES ${CMAKE_SOURCE_DIR}/src/suite/library_error.cpp)

add_library(pvpfc_core STATIC ${PFC_MODULE_SOURCES})
target_include_directories(pvpfc_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(pvpfc_core PUBLIC pfc_errors ${PFC_SYSTEM_LIBS})
if(TARGET pfc_docengine)
  target_link_libraries(pvpfc_core PUBLIC pfc_docengine)
endif()
pfc_project_target(pvpfc_core)

# The modules that load into every windowed process ship without their debug
# information, which is most of the file: Wine reads every section of an image
# at each load. It stays beside the module as <module>.debug, named by a debug
# link, for debuggers.
function(pfc_split_debug_info target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-debug $<TARGET_FILE_NAME:${target}>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

# A module the hook loads into every windowed process has its sections at
# page boundaries in the file too. An image whose file alignment is below the
# page size cannot be mapped from the file: the loader reads each section into
# private memory at every load (Wine always, Windows too), so every process
# paid for copying the whole module, and none could share its pages.
function(pfc_page_aligned_image target)
  target_link_options(${target} PRIVATE -Wl,--file-alignment=4096)
endfunction()

add_library(PVPFCW32 SHARED ${CMAKE_SOURCE_DIR}/src/exports/dll_main.cpp ${CMAKE_SOURCE_DIR}/src/exports/PVPFCW32.def)
set_target_properties(PVPFCW32 PROPERTIES PREFIX "" OUTPUT_NAME PVPFCW32)
target_link_libraries(PVPFCW32 PRIVATE -Wl,--whole-archive pvpfc_core -Wl,--no-whole-archive)
target_link_options(PVPFCW32 PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
pfc_project_target(PVPFCW32)
pfc_page_aligned_image(PVPFCW32)
pfc_split_debug_info(PVPFCW32)

# A native pfcdoc, built from this tree with the host compiler, makes the
# data files the resources carry (the distributor's set, the blank template).
include(ExternalProject)
set(PFC_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(PFC_HOST_PFCDOC ${PFC_HOST_TOOLS_DIR}/tools/doctool/pfcdoc)
ExternalProject_Add(pfc_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${PFC_HOST_TOOLS_DIR}
  CMAKE_ARGS -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release
             -DPFC_HOST_TOOLS_ONLY=ON -DBUILD_TESTING=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target pfcdoc
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${PFC_HOST_PFCDOC})

# The blank template "~BLANK.TMP" that programs carry for wrapping images
# into documents; an .rc includes it as blank.tmp from this directory.
set(PFC_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(PFC_BLANK_TEMPLATE ${PFC_GENERATED_DIR}/blank.tmp)
add_custom_command(
  OUTPUT ${PFC_BLANK_TEMPLATE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PFC_GENERATED_DIR}
  COMMAND ${PFC_HOST_PFCDOC} write ${CMAKE_SOURCE_DIR}/resources/blank_template.txt ${PFC_BLANK_TEMPLATE}
  DEPENDS pfc_host_tools ${PFC_HOST_PFCDOC} ${CMAKE_SOURCE_DIR}/resources/blank_template.txt
  COMMENT "Writing the blank template")
add_custom_target(pfc_blank_template DEPENDS ${PFC_BLANK_TEMPLATE})

function(pfc_carry_blank_template target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources/blank_template.rc)
  target_include_directories(${target} PRIVATE ${PFC_GENERATED_DIR})
  set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/blank_template.rc PROPERTIES OBJECT_DEPENDS ${PFC_BLANK_TEMPLATE})
  add_dependencies(${target} pfc_blank_template)
endfunction()

# Helper for the programs: each directory under tools/ with a CMakeLists.txt.
# HOST: a program the module may serve, which carries the blank template.
function(pfc_windows_program name)
  cmake_parse_arguments(ARG "GUI;HOST" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  if(ARG_HOST)
    pfc_carry_blank_template(${name})
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${PFC_SYSTEM_LIBS})
  pfc_project_target(${name})
endfunction()

# Drives real processes as a person would (start, find windows, wait, end,
# read the stand-ins' log): the end-to-end tests and the demo share it.
string(REPLACE "/" "\\\\" pfc_build_dir_win "Z:${CMAKE_BINARY_DIR}")
add_library(pfc_process_driver STATIC ${CMAKE_SOURCE_DIR}/tests/e2e/e2e_support.cpp)
target_include_directories(pfc_process_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/e2e PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(pfc_process_driver PRIVATE "PFC_BUILD_DIR_WIN=\"${pfc_build_dir_win}\"")
pfc_project_target(pfc_process_driver)

# A Windows test program is one ctest entry (each Wine process costs seconds to
# start); the XML report it writes lets scripts/test.sh count its test cases,
# and its case lines show the run's progress.
# A test whose programs this machine cannot start (32-bit ones where the
# kernel executes no 32-bit code) is reported as not run, neither passed nor
# failed: scripts/wine-run.sh answers this code for it.
file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh pfc_not_run_line REGEX "^PFC_NOT_RUN_HERE=[0-9]+$")
string(REGEX REPLACE "^PFC_NOT_RUN_HERE=" "" PFC_NOT_RUN_HERE "${pfc_not_run_line}")
if(NOT PFC_NOT_RUN_HERE)
  message(FATAL_ERROR "scripts/wine-env.sh defines no PFC_NOT_RUN_HERE")
endif()

function(pfc_add_gtest_program name)
  add_test(NAME ${name} COMMAND ${name} "--gtest_output=xml:Z:${CMAKE_BINARY_DIR}/test-results/${name}.xml")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${PFC_NOT_RUN_HERE})
endfunction()

option(PFC_COMPANION_BUILD "Build only the parts the other bitness's package needs" OFF)
if(NOT PFC_COMPANION_BUILD)
  include(${CMAKE_SOURCE_DIR}/cmake/Installer.cmake)
endif()

foreach(dir resources tools/controller tools/suite tools/hosts tools/demo tests/win tests/e2e bench)
  add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
endforeach()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(pfc_objdump x86_64-w64-mingw32-objdump)
else()
  set(pfc_objdump i686-w64-mingw32-objdump)
endif()
add_test(NAME module_image COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-module-image.sh ${pfc_objdump} $<TARGET_FILE:PVPFCW32> ${CMAKE_SIZEOF_VOID_P} $<TARGET_FILE:PavRes32>)

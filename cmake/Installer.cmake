# The product package: the module, resource module and controller of both
# bitnesses, the suite key in both registry views and the default profile,
# as an MSI made with wixl. This tree builds its own bitness; the other one
# comes from the other preset's tree or a companion build (below), limited to
# the parts the package and the installer tests need.
find_program(PFC_WIXL wixl REQUIRED)
find_program(PFC_MSIBUILD msibuild REQUIRED)
find_program(PFC_MSIINFO msiinfo REQUIRED)

set(PFC_PRODUCT_VERSION 1.0.0)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(pfc_companion_arch x86)
  set(pfc_companion_toolchain ${CMAKE_SOURCE_DIR}/cmake/toolchain-i686-mingw.cmake)
else()
  set(pfc_companion_arch x64)
  set(pfc_companion_toolchain ${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64-mingw.cmake)
endif()
# PFC_COMPANION_TREE names the other bitness's preset tree of this checkout
# (scripts/test.sh sets it, as it builds both): the package then takes that
# tree's own outputs, brought up to date at each build, and each module is
# built once per run. Without it, a companion build of the same sources with
# the other toolchain makes just those parts inside this tree.
set(PFC_COMPANION_TREE "" CACHE PATH "The other bitness's build tree, whose outputs the package takes")
if(PFC_COMPANION_TREE)
  set(PFC_COMPANION_DIR ${PFC_COMPANION_TREE})
else()
  set(PFC_COMPANION_DIR ${CMAKE_BINARY_DIR}/companion-${pfc_companion_arch})
endif()
set(pfc_companion_targets PVPFCW32 PavRes32 pfcctl pfc_menuhost)
set(pfc_companion_outputs
  ${PFC_COMPANION_DIR}/PVPFCW32.dll
  ${PFC_COMPANION_DIR}/resources/PavRes32.dll
  ${PFC_COMPANION_DIR}/tools/controller/pfcctl.exe
  ${PFC_COMPANION_DIR}/tools/hosts/PFCMENUHOST.exe)
if(PFC_COMPANION_TREE)
  string(REPLACE ";" "," pfc_companion_target_list "${pfc_companion_targets}")
  add_custom_target(pfc_companion
    COMMAND ${CMAKE_COMMAND} -DTREE=${PFC_COMPANION_TREE} -DTOOLCHAIN=${pfc_companion_toolchain}
            -DBUILD_TYPE=${CMAKE_BUILD_TYPE} -DTARGETS=${pfc_companion_target_list}
            -P ${CMAKE_SOURCE_DIR}/cmake/BuildCompanionTree.cmake
    BYPRODUCTS ${pfc_companion_outputs}
    COMMENT "Bringing the other bitness's parts up to date in ${PFC_COMPANION_TREE}"
    VERBATIM)
else()
  ExternalProject_Add(pfc_companion
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${PFC_COMPANION_DIR}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${pfc_companion_toolchain} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DPFC_COMPANION_BUILD=ON -DPFC_GOOGLETEST_DIR=${PFC_GOOGLETEST_DIR} -DBUILD_TESTING=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j 2 --target ${pfc_companion_targets}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${pfc_companion_outputs})
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(pfc_x86_dir ${PFC_COMPANION_DIR})
  set(pfc_x64_dir ${CMAKE_BINARY_DIR})
else()
  set(pfc_x86_dir ${CMAKE_BINARY_DIR})
  set(pfc_x64_dir ${PFC_COMPANION_DIR})
endif()
# The 64-bit sample host, for the tests that check both kinds of host.
set(PFC_MENUHOST64 ${pfc_x64_dir}/tools/hosts/PFCMENUHOST.exe)

# The default profile ships with Windows line ends whatever the checkout has.
set(PFC_DEFAULT_PROFILE ${CMAKE_BINARY_DIR}/installer/PvPfcW32.default.ini)
configure_file(${CMAKE_SOURCE_DIR}/resources/PvPfcW32.ini ${PFC_DEFAULT_PROFILE} @ONLY NEWLINE_STYLE CRLF)

# The settings dialog's help page, opened by its Help button and F1.
set(PFC_HELP_PAGE ${CMAKE_SOURCE_DIR}/resources/PvPfcW32.htm)

# pfc_add_msi(<output> <version>): one package of the product at a version;
# each version has a product code of its own, so that installing a later one
# is an upgrade of the earlier.
function(pfc_add_msi output version)
  string(UUID product_code NAMESPACE 6F1D2C3B-5A47-4E8B-9C2D-7E31A0B4C5D6 NAME "PvPfcW32 ${version}" TYPE SHA1 UPPER)
  set(wxs ${CMAKE_SOURCE_DIR}/installer/PvPfcW32.wxs)
  # wixl takes file sources only as paths relative to where it runs.
  file(RELATIVE_PATH x86_dir ${CMAKE_BINARY_DIR} ${pfc_x86_dir})
  file(RELATIVE_PATH x64_dir ${CMAKE_BINARY_DIR} ${pfc_x64_dir})
  file(RELATIVE_PATH default_profile ${CMAKE_BINARY_DIR} ${PFC_DEFAULT_PROFILE})
  file(RELATIVE_PATH help_page ${CMAKE_BINARY_DIR} ${PFC_HELP_PAGE})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${PFC_WIXL} -a x64 -I ${CMAKE_SOURCE_DIR}/installer
            -D X86Dir=./${x86_dir} -D X64Dir=./${x64_dir} -D DefaultProfile=${default_profile}
            -D HelpPage=${help_page}
            -D Version=${version} -D ProductCode=${product_code} -o ${output}.part ${wxs}
    COMMAND bash ${CMAKE_SOURCE_DIR}/installer/binary-values.sh ${output}.part InstallVersion ParvaneInfo
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.part ${output}
    DEPENDS ${wxs} ${CMAKE_SOURCE_DIR}/installer/suite-key-machine.wxi ${CMAKE_SOURCE_DIR}/installer/binary-values.sh
            ${PFC_DEFAULT_PROFILE} ${PFC_HELP_PAGE} PVPFCW32 PavRes32 pfcctl pfc_companion ${pfc_companion_outputs}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Packing ${output}"
    VERBATIM)
endfunction()

set(PFC_MSI ${CMAKE_BINARY_DIR}/installer/PvPfcW32.msi)
pfc_add_msi(${PFC_MSI} ${PFC_PRODUCT_VERSION})
add_custom_target(pfc_installer ALL DEPENDS ${PFC_MSI})

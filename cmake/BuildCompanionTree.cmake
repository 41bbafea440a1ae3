# Run at build time (cmake -P): brings the other bitness's parts of the
# package up to date in that preset's own tree, after checking the tree is
# what a companion build would be (the other toolchain, the same build type),
# so that its outputs can stand for one.
#   -DTREE=<build tree> -DTOOLCHAIN=<toolchain file> -DBUILD_TYPE=<type> -DTARGETS=<a,b,...>
if(NOT EXISTS ${TREE}/CMakeCache.txt)
  message(FATAL_ERROR "companion tree ${TREE} is not configured: configure the other bitness's preset first (scripts/test.sh configures both before it builds either)")
endif()
file(STRINGS ${TREE}/CMakeCache.txt toolchain_line REGEX "^CMAKE_TOOLCHAIN_FILE:")
file(STRINGS ${TREE}/CMakeCache.txt build_type_line REGEX "^CMAKE_BUILD_TYPE:")
string(REGEX REPLACE "^[^=]*=" "" tree_toolchain "${toolchain_line}")
string(REGEX REPLACE "^[^=]*=" "" tree_build_type "${build_type_line}")
get_filename_component(tree_toolchain "${tree_toolchain}" REALPATH)
get_filename_component(want_toolchain "${TOOLCHAIN}" REALPATH)
if(NOT tree_toolchain STREQUAL want_toolchain OR NOT tree_build_type STREQUAL BUILD_TYPE)
  message(FATAL_ERROR "companion tree ${TREE} is built with ${tree_toolchain} (${tree_build_type}); the package needs ${want_toolchain} (${BUILD_TYPE})")
endif()
string(REPLACE "," ";" targets "${TARGETS}")
execute_process(COMMAND ${CMAKE_COMMAND} --build ${TREE} -j 2 --target ${targets} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the companion parts in ${TREE} failed")
endif()

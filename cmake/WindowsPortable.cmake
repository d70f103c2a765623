# A Windows build without libcurl and OpenSSL (Debian has no mingw-w64
# builds of them): the pieces that need neither, i.e. the model, the
# conditions and the portable part of the platform layer (the .reg file
# format, the registry interface, the OS version read from a registry),
# with their GoogleTest programs, built with GoogleTest's own sources so
# that it uses the same compiler. scripts/test-windows runs them under
# Wine. The providers, key files and control files compile here but call
# the crypto and file backends, which have no Windows files yet, so only
# programs that do not reach them link. The network, the application layer
# and the programs follow once their Windows backends exist.
set(src ${CMAKE_SOURCE_DIR}/src)
file(GLOB GANTRELL_PORTABLE_SOURCES CONFIGURE_DEPENDS ${src}/model/*.cc ${src}/conditions/*.cc)
# Pruning removes old downloads through the folder backend, which has no
# Windows file yet.
list(REMOVE_ITEM GANTRELL_PORTABLE_SOURCES ${src}/model/pruning.cc)
list(APPEND GANTRELL_PORTABLE_SOURCES
  ${src}/platform/reg_document.cc
  ${src}/platform/reg_file_format.cc
  ${src}/platform/registry.cc
  ${src}/platform/os_version_registry.cc)
add_library(gantrell_portable STATIC ${GANTRELL_PORTABLE_SOURCES})
target_include_directories(gantrell_portable PUBLIC ${src} ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(gantrell_portable PUBLIC Threads::Threads)
# mingw-w64's <time.h> declares localtime_r and gmtime_r with this.
target_compile_definitions(gantrell_portable PUBLIC _POSIX_THREAD_SAFE_FUNCTIONS)

include(${CMAKE_SOURCE_DIR}/cmake/WindowsHttp.cmake)

if(NOT GANTRELL_TESTS)
  return()
endif()
enable_testing()
set(GANTRELL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources (Debian's libgtest-dev), built with this toolchain")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GANTRELL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(gantrell_portable_test_support STATIC
  ${tests}/support/temp_dir.cc ${tests}/support/test_paths.cc)
target_include_directories(gantrell_portable_test_support PUBLIC ${tests})
target_link_libraries(gantrell_portable_test_support PUBLIC gantrell_portable gtest gmock)
target_compile_definitions(gantrell_portable_test_support PUBLIC
  GANTRELL_VECTORS_DIR="${CMAKE_SOURCE_DIR}/../shared/vectors"
  GANTRELL_BINARY_DIR="${CMAKE_BINARY_DIR}")

# Tests of what needs a backend Windows does not have yet: providers (their
# keys are OpenSSL's), pruning and control files (the file backends), and
# the registry conditions' .reg file registry (the file and lock backends).
set(GANTRELL_WINDOWS_SKIPPED_TESTS
  ${tests}/model/control_file_test.cc
  ${tests}/model/key_file_test.cc
  ${tests}/model/list_state_test.cc
  ${tests}/model/pruning_test.cc
  ${tests}/model/store_format_test.cc
  ${tests}/conditions/compound_condition_test.cc
  ${tests}/conditions/reg_condition_test.cc)
foreach(layer model conditions)
  file(GLOB layer_sources CONFIGURE_DEPENDS ${tests}/${layer}/*.cc)
  list(REMOVE_ITEM layer_sources ${GANTRELL_WINDOWS_SKIPPED_TESTS})
  add_executable(${layer}_tests ${layer_sources})
  target_link_libraries(${layer}_tests PRIVATE gantrell_portable_test_support gtest_main)
endforeach()

# The test programs of the Windows build, run under Wine by
# scripts/test-windows. GoogleTest is built from its sources (Debian's
# libgtest-dev) with this toolchain. The local HTTP server runs on Winsock
# (test_http_server_win32.cc); the rest of tests/support/ is portable or
# a *_posix.cc/*_win32.cc pair. Test files that need a POSIX system
# (signals, the freedesktop.org trash, xdg-open, the XDG folders, the
# OpenSSL library) stay Linux-only (GANTRELL_LINUX_ONLY_TESTS); a single
# case that needs what Windows has not (fork, a file size limit, permission
# bits) skips itself, asking support/test_system.h. The console client's
# test program is not built for Windows (its fixture forks and signals
# gantrell-cli and serves the sites with python3's web server);
# scripts/windows-whole-run runs the program itself.
set(GANTRELL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources (Debian's libgtest-dev), built with this toolchain")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GANTRELL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(tests ${CMAKE_SOURCE_DIR}/tests)
file(GLOB support_sources CONFIGURE_DEPENDS ${tests}/support/*.cc)
gantrell_pick_backends(support_sources)
add_library(gantrell_test_support STATIC ${support_sources})
target_include_directories(gantrell_test_support PUBLIC ${tests})
target_link_libraries(gantrell_test_support PUBLIC gantrell_core gtest gmock ws2_32)
# Built on Linux, the programs run under Wine, whose drive Z: is the Unix
# root: the build's own folders are named on it.
if(CMAKE_HOST_UNIX)
  set(host_root "Z:")
endif()
target_compile_definitions(gantrell_test_support PUBLIC
  GANTRELL_VECTORS_DIR="${host_root}${CMAKE_SOURCE_DIR}/../shared/vectors"
  GANTRELL_BINARY_DIR="${host_root}${CMAKE_BINARY_DIR}"
  GANTRELL_EXECUTABLE_SUFFIX="${CMAKE_EXECUTABLE_SUFFIX}")

set(GANTRELL_LINUX_ONLY_TESTS
  # Ed25519 against the OpenSSL library.
  ${tests}/platform/ed25519_openssl_test.cc
  # TLS against the Linux test server's certificates.
  ${tests}/platform/http_tls_test.cc
  # Signals (SIGTERM, SIGHUP) and the freedesktop.org trash and xdg-open.
  ${tests}/platform/end_request_watch_test.cc
  ${tests}/platform/trash_test.cc
  ${tests}/platform/shell_open_test.cc
  # They compare the C library's error texts, POSIX permission bits,
  # symbolic links and unset-versus-empty variables, which Windows does not
  # have alike; files_win32_test.cc covers these backends on Windows.
  ${tests}/platform/atomic_file_test.cc
  ${tests}/platform/file_access_test.cc
  ${tests}/platform/file_lock_test.cc
  ${tests}/platform/file_move_test.cc
  ${tests}/platform/folders_test.cc
  ${tests}/platform/environment_test.cc
  # Writers in forked processes.
  ${tests}/platform/registry_file_test.cc
  # The XDG folders and POSIX modes.
  ${tests}/platform/standard_folders_test.cc
  # Its catalogues are made by GNU msgfmt, a Linux program, as the test runs.
  ${tests}/platform/catalogue_test.cc)

foreach(layer platform model conditions net app tools)
  file(GLOB layer_sources CONFIGURE_DEPENDS ${tests}/${layer}/*.cc)
  gantrell_pick_backends(layer_sources)
  list(REMOVE_ITEM layer_sources ${GANTRELL_LINUX_ONLY_TESTS})
  add_executable(${layer}_tests ${layer_sources})
  target_link_libraries(${layer}_tests PRIVATE gantrell_test_support gtest_main)
endforeach()
# The tool tests run gantrell-publish.exe of this build.
add_dependencies(tools_tests gantrell-publish)

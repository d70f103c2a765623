# The HTTP layer on WinINet for the Windows build, and its test program
# http_tests.exe: the session tests that need no Linux server, against the
# Winsock test server of tests/support. Included from WindowsPortable.cmake.
set(src ${CMAKE_SOURCE_DIR}/src)
add_library(gantrell_http STATIC
  ${src}/platform/http_async_session.cc
  ${src}/platform/http_sync_session.cc
  ${src}/platform/http_transfer.cc
  ${src}/platform/http_response_headers.cc
  ${src}/platform/http_wininet_engine_win32.cc
  ${src}/platform/network_init_win32.cc)
target_include_directories(gantrell_http PUBLIC ${src})
target_link_libraries(gantrell_http PUBLIC Threads::Threads wininet)

if(GANTRELL_TESTS)
  set(tests ${CMAKE_SOURCE_DIR}/tests)
  # The linked names (gtest_main) are resolved once the whole project is read.
  add_executable(http_tests
    ${tests}/platform/http_async_session_test.cc
    ${tests}/platform/http_sync_session_test.cc
    ${tests}/platform/http_response_headers_test.cc
    ${tests}/platform/http_wininet_test_win32.cc
    ${tests}/support/test_http_server.cc
    ${tests}/support/test_http_server_win32.cc)
  target_include_directories(http_tests PRIVATE ${tests})
  target_link_libraries(http_tests PRIVATE gantrell_http gtest gtest_main ws2_32)
endif()

# The crypto facility on CNG and the signature records on it, with their
# portable tests (crypto_tests.exe), for the Windows build of
# cmake/WindowsPortable.cmake, which includes this file after its own
# tests. scripts/test-windows runs crypto_tests under Wine.
set(src ${CMAKE_SOURCE_DIR}/src)
set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(gantrell_crypto STATIC
  ${src}/platform/crypto.cc
  ${src}/platform/crypto_win32.cc
  ${src}/platform/der.cc
  ${src}/platform/ed25519.cc
  ${src}/platform/key_formats.cc
  ${src}/net/signature.cc)
target_include_directories(gantrell_crypto PUBLIC ${src})
target_link_libraries(gantrell_crypto PUBLIC gantrell_portable bcrypt)

if(NOT GANTRELL_TESTS)
  return()
endif()
# The tests that need no OpenSSL command line and no OpenSSL library: the
# records against the shared vectors, the DER and PEM forms, the facility
# itself, and the portable Ed25519 against the RFC 8032 vectors.
add_executable(crypto_tests
  ${tests}/net/signature_test.cc
  ${tests}/platform/crypto_test.cc
  ${tests}/platform/ed25519_test.cc
  ${tests}/platform/key_formats_test.cc)
target_link_libraries(crypto_tests PRIVATE gantrell_crypto gantrell_portable_test_support gtest_main)

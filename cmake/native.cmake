# The native build: the portable ZIP reader with the host compiler, the
# zip-extract tool, native unit and conformance tests, and (with clang and
# WENDREL_FUZZ) the fuzz target. Included by the top-level file.

add_compile_options(-Wall -Wextra)
option(WENDREL_FUZZ "Build the libFuzzer target (clang) with ASan and UBSan" OFF)
if(WENDREL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -g)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(ZLIB REQUIRED)
add_subdirectory(launcher/zip/core)

add_executable(zip-extract tools/zip-extract/zip_extract_main.cpp)
target_link_libraries(zip-extract PRIVATE zip_core)
set_target_properties(zip-extract PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(WENDREL_FUZZ)
  add_executable(zip_fuzz fuzz/zip_fuzz.cpp)
  target_link_libraries(zip_fuzz PRIVATE zip_core)
  target_link_options(zip_fuzz PRIVATE -fsanitize=fuzzer)
  set_target_properties(zip_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  return()
endif()

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_executable(zip_core_test tests/zip/zip_format_test.cpp tests/zip/zip_archive_test.cpp tests/zip/zip_parallel_test.cpp
  tests/zip/zip_builder.cpp)
target_include_directories(zip_core_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zip_core_test PRIVATE zip_core GTest::gtest_main)
gtest_discover_tests(zip_core_test TEST_PREFIX native.)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME native.zip_extract_conformance
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/zip/conformance.py
          $<TARGET_FILE:zip-extract> ${CMAKE_BINARY_DIR}/conformance)
set_tests_properties(native.zip_extract_conformance PROPERTIES TIMEOUT 300)
add_test(NAME native.zip_extract_parallel_unpack
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/zip/parallel_unpack.py
          $<TARGET_FILE:zip-extract> ${CMAKE_BINARY_DIR}/parallel_unpack)
set_tests_properties(native.zip_extract_parallel_unpack PROPERTIES TIMEOUT 300)

# The benchmark's reference: inflate and CRC only (./scripts/bench).
add_executable(zlib-pass bench/zlib_pass.c)
target_link_libraries(zlib-pass PRIVATE ZLIB::ZLIB)
set_target_properties(zlib-pass PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

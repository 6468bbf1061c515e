# The fuzz targets' stored reproducers as a native test (fuzz_regression_tests):
# every target's source, its entry point renamed so that they share one
# executable, and tests/fuzz/regression_test.cpp, which feeds them the files
# of tests/fuzz/regressions/TARGET/. Included by tests/CMakeLists.txt.
set(FUZZ_REGRESSION_TARGETS fuzz_inflate fuzz_explode fuzz_unreduce fuzz_unshrink fuzz_directory
    fuzz_extract fuzz_settings fuzz_wildcard fuzz_command_line fuzz_install_log fuzz_recovery
    fuzz_install)
find_package(ZLIB)
if(NOT ZLIB_FOUND)
  return()
endif()
add_executable(fuzz_regression_tests ${CMAKE_CURRENT_LIST_DIR}/regression_test.cpp)
foreach(target ${FUZZ_REGRESSION_TARGETS})
  set(source ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
  target_sources(fuzz_regression_tests PRIVATE ${source})
  set_source_files_properties(${source} PROPERTIES COMPILE_DEFINITIONS
                              LLVMFuzzerTestOneInput=Fuzz_${target})
endforeach()
target_link_libraries(fuzz_regression_tests PRIVATE test_common archive installer ZLIB::ZLIB)
if(SETUP_SANITIZE)
  target_compile_options(fuzz_regression_tests PRIVATE -O1)
endif()
gtest_discover_tests(fuzz_regression_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES TIMEOUT 300)

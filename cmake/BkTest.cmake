# One helper registers every test: a GoogleTest executable per folder, run by
# ctest. Tests find the helper programs they spawn and the general-ledger
# module through environment variables set here.
#
#   bk_add_test(NAME <name> SOURCES <files...> LIBS <libs...>)
function(bk_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} bk_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "BK_TEST_BINARY_DIR=${PROJECT_BINARY_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
    TIMEOUT 900)
endfunction()

# One helper registers every test: a GoogleTest executable per folder, run by
# ctest. Tests find the helper programs they spawn and the general-ledger
# module through environment variables set here.
#
#   bk_add_test(NAME <name> [POSTGRES] SOURCES <files...> LIBS <libs...>)
#
# POSTGRES registers the program a second time, as <name>_pg, against the
# throw-away PostgreSQL server the suite starts (fixture "pg_server", see
# tests/support/pg_server.sh); its companies are databases on that server
# (bktest::TestCompany), and it is skipped when no server could be started.
# Every test of the server carries the label "postgres": `make test` runs
# them in one build only (ctest -L postgres / -LE postgres).

# The server: started before the first test that needs it, stopped after the
# last, whether they pass or not.
set(BK_PG_DIR ${PROJECT_BINARY_DIR}/pgtest)
add_test(NAME pg_server_start COMMAND sh ${PROJECT_SOURCE_DIR}/tests/support/pg_server.sh start ${BK_PG_DIR})
add_test(NAME pg_server_stop COMMAND sh ${PROJECT_SOURCE_DIR}/tests/support/pg_server.sh stop ${BK_PG_DIR})
set_tests_properties(pg_server_start PROPERTIES FIXTURES_SETUP pg_server TIMEOUT 120 LABELS postgres)
set_tests_properties(pg_server_stop PROPERTIES FIXTURES_CLEANUP pg_server TIMEOUT 120 LABELS postgres)

# What `make test` builds in the normal build: what the server's tests and the
# benchmark comparison run, and the benchmarks (no other build compiles
# them); every other test program is built and run in the sanitizer build.
# Each POSTGRES test adds its program; the folders of the programs tests run
# (bkreg, the general-ledger module, the drivers' dump tool) and of the
# benchmarks add those.
add_custom_target(bk_normal_tests)

function(bk_add_test)
  cmake_parse_arguments(T "POSTGRES" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} bk_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(env "BK_TEST_BINARY_DIR=${PROJECT_BINARY_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 900)
  if(T_POSTGRES)
    add_dependencies(bk_normal_tests ${T_NAME})
    add_test(NAME ${T_NAME}_pg COMMAND ${T_NAME})
    set_tests_properties(${T_NAME}_pg PROPERTIES
      ENVIRONMENT "${env};BK_TEST_PG=${BK_PG_DIR}/server.env"
      FIXTURES_REQUIRED pg_server SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS postgres)
  endif()
endfunction()

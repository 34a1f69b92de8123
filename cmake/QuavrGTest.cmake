# GoogleTest from Debian's sources, built once per build tree, and quavr_test(), which makes a
# test executable and registers its tests with CTest.
#   quavr_test(NAME SOURCES ... [LIBS ...] [LABEL label] [ENV VAR=value ...])
set(QUAVR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")
add_subdirectory(${QUAVR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()
include(GoogleTest)

function(quavr_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${T_LABEL}" ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

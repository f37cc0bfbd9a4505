# Warnings every target of ours is built with.
function(ostrum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
endfunction()

# A GoogleTest program, registered with ctest as one test.
function(ostrum_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  ostrum_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

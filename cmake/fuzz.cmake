# A libFuzzer target: one source file, linked against the layer it feeds.
function(ostrum_fuzz_target name source)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARGN})
  ostrum_warnings(${name})
endfunction()

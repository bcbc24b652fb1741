# The checks of fuzz target NAME (its source SRC) as objects, made once for the replay program
# of the tests and the libFuzzer program alike.
function(tern_fuzz_checks name src)
  if(NOT TARGET ${name}_checks)
    add_library(${name}_checks OBJECT ${src})
    target_link_libraries(${name}_checks PRIVATE tern)
    tern_warnings(${name}_checks)
  endif()
endfunction()

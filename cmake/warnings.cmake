# Warning set of every target; errors when TERN_WERROR is on (as in CI).
function(tern_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion $<$<BOOL:${TERN_WERROR}>:-Werror>)
endfunction()

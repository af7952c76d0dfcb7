# Warnings are set on each target, not globally, so that code the project does
# not own (Qt's generated sources aside) is judged by its own rules.
option(TAVOLIN_WERROR "Treat warnings as errors" OFF)

function(tavolin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TAVOLIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

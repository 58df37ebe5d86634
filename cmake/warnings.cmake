# Warnings for the project's own targets (never for third-party code).
function(orvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
endfunction()

# The portable library also gets -Wconversion: its byte and pixel arithmetic
# is where silent narrowing would hurt.
function(orvane_portable_warnings target)
    orvane_warnings(${target})
    target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion)
endfunction()

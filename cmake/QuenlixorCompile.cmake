# Compile settings shared by every target of this project.
#
# quenlixor_warnings: the warning set, as errors, for our own code only
# (third-party code built alongside, such as GoogleTest for Windows, keeps
# its own flags).

add_library(quenlixor_warnings INTERFACE)
target_compile_options(quenlixor_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wcast-align -Wdouble-promotion -Wformat=2
    -Werror)

if(QUENLIXOR_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # Run on a bare Windows machine: no MinGW runtime DLLs.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# quenlixor_target_defaults(target): what every target of ours gets. The
# project's root is the include root, so headers are named by their folder:
# #include "display/pixel_converters.h".
function(quenlixor_target_defaults target)
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(${target} PRIVATE quenlixor_warnings)
endfunction()

# quenlixor_target_choice(VARIABLE ON_WINDOWS ELSEWHERE DOC): the cache
# string VARIABLE names the one implementation this target builds (a file or
# a folder), ON_WINDOWS by default on Windows and ELSEWHERE everywhere else;
# a preset sets it for a target of its own.
function(quenlixor_target_choice variable on_windows elsewhere doc)
    if(WIN32)
        set(${variable} ${on_windows} CACHE STRING "${doc}")
    else()
        set(${variable} ${elsewhere} CACHE STRING "${doc}")
    endif()
endfunction()

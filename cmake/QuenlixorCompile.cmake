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

# quenlixor_exact_floating_point(target): for every target that computes the
# renderer's arithmetic (the renderer, the extended-precision model, their
# tests and benchmarks). No compiler may fuse a multiply and an add, which
# would change the roundings the frames are defined by (GCC for ARM64 fuses
# by default, and clang folds constant expressions fused). On 32-bit x86,
# GCC keeps x87 results in extended precision across C++ casts;
# -ffloat-store makes every assignment round to its type.
function(quenlixor_exact_floating_point target)
    target_compile_options(${target} PRIVATE -ffp-contract=off)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
        target_compile_options(${target} PRIVATE -ffloat-store)
    endif()
endfunction()

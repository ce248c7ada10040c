# Compile settings shared by every target of this project.
#
# QUENLIXOR_PROCESSOR: the processor family the build is for, said once
# here: x86 (32- or 64-bit), arm64, wasm (WebAssembly) or plain (any other).
# Its fast paths (the renderer's kernels, the converters' paths) and the way
# its features are read are one file per family. QUENLIXOR_X86_32: 32-bit
# x86, where every floating-point quantity lives in the x87.
if(EMSCRIPTEN)
    set(QUENLIXOR_PROCESSOR wasm)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
    set(QUENLIXOR_PROCESSOR x86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    set(QUENLIXOR_PROCESSOR arm64)
else()
    set(QUENLIXOR_PROCESSOR plain)
endif()
set(QUENLIXOR_X86_32 OFF)
if(QUENLIXOR_PROCESSOR STREQUAL "x86" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QUENLIXOR_X86_32 ON)
endif()
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

# The same sources built in any folder make the same files, byte for byte:
# no path of the source tree in them (__FILE__ in assertions and tests), and
# no link time in a Windows program's header.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
endif()

# Linux programs are hardened as Debian builds its own (dpkg-buildflags):
# libc calls checked against the sizes the compiler knows, and relocations
# resolved at start and then made read-only.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    add_link_options(-Wl,-z,relro,-z,now)
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
    if(QUENLIXOR_X86_32)
        target_compile_options(${target} PRIVATE -ffloat-store)
    endif()
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

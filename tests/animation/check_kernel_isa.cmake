# Fails when the renderer library uses a wider instruction set outside its
# kernels: AVX or AVX-512 (VEX- or EVEX-encoded instructions, ymm, zmm or
# mask registers) anywhere but in the functions of an AVX kernel's file
# (julia_kernel_avx*.cpp: its entry and helpers, all in its anonymous
# namespace), and on 32-bit x86 (-DX86_32=ON) also SSE (xmm registers, and
# MXCSR's loads and stores) anywhere but in a SIMD kernel's file and, for
# MXCSR, the file that sets the floating-point state
# (floating_point_state_x86.cpp, which does so only where the processor has
# SSE2). KERNELS names the SIMD kernels the build compiled; every AVX kernel
# among them must show such code, or the check proves nothing.
#
# A library that computes with the software model of the x87
# (-DSOFT_EXTENDED=ON) has no x87 instruction at all, but where the C
# library computes sines and cosines on the x87 (-DX87_C_LIBRARY=ON,
# MinGW-w64) those of floating_point_state_x86.cpp, which must then be
# there. Any other library must show some, or the pattern that finds them
# proves nothing.
#
#   cmake -DOBJDUMP=<objdump> -DLIBRARY=<libjulia_renderer.a> "-DKERNELS=<a;b>"
#         [-DX86_32=ON] [-DSOFT_EXTENDED=ON [-DX87_C_LIBRARY=ON]]
#         -P check_kernel_isa.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/disassembly.cmake)
disassemble(${LIBRARY} instructions)

set(offenders "")
set(avx_kernels ${KERNELS})
list(FILTER avx_kernels INCLUDE REGEX "^avx")
set(avx_kernels_seen "")
set(x87_instructions "")
set(x87_state_instructions 0)
foreach(instruction IN LISTS instructions)
    instruction_fields("${instruction}")
    # The x87's instructions (fwait among them) and its registers.
    if(mnemonic MATCHES "^f|^wait$" OR operands MATCHES "%st")
        if(X87_C_LIBRARY AND member MATCHES "floating_point_state_x86\\.cpp\\.o")
            math(EXPR x87_state_instructions "${x87_state_instructions} + 1")
        else()
            list(APPEND x87_instructions "${member}: ${function}: ${mnemonic}${operands}")
        endif()
    endif()
    set(kernel "")
    if(member MATCHES "julia_kernel_(.+)\\.cpp\\.o" AND CMAKE_MATCH_1 IN_LIST KERNELS)
        set(kernel "${CMAKE_MATCH_1}")
    endif()
    set(avx OFF)
    if(mnemonic MATCHES "^[vk]" OR operands MATCHES "%[yz]mm|%k[0-7]")
        set(avx ON)
    endif()
    set(sse OFF)
    if(X86_32 AND operands MATCHES "%xmm")
        set(sse ON)
    endif()
    if(X86_32 AND mnemonic MATCHES "^(ld|st)mxcsr$")
        if(member MATCHES "floating_point_state_x86\\.cpp\\.o")
            continue()
        endif()
        set(sse ON)
    endif()
    if(NOT avx AND NOT sse)
        continue()
    endif()
    # The kernel's own functions: its entry and helpers, all in its
    # anonymous namespace.
    set(allowed OFF)
    if(kernel AND function MATCHES "anonymous namespace|_GLOBAL__N_")
        if(NOT avx)
            set(allowed ON)
        elseif(kernel MATCHES "^avx")
            set(allowed ON)
            list(APPEND avx_kernels_seen ${kernel})
        endif()
    endif()
    if(NOT allowed)
        list(APPEND offenders "${member}: ${function}: ${mnemonic}${operands}")
    endif()
endforeach()

list(REMOVE_DUPLICATES avx_kernels_seen)
list(SORT avx_kernels)
list(SORT avx_kernels_seen)
if(NOT avx_kernels OR NOT avx_kernels_seen STREQUAL avx_kernels)
    message(FATAL_ERROR
        "expected AVX code in every AVX kernel (${avx_kernels}), found it in: ${avx_kernels_seen}")
endif()
if(offenders)
    list(LENGTH offenders offender_count)
    list(SUBLIST offenders 0 20 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    message(FATAL_ERROR "${offender_count} instructions outside the kernels:\n  ${shown}")
endif()
list(LENGTH x87_instructions x87_count)
if(SOFT_EXTENDED AND x87_count GREATER 0)
    list(SUBLIST x87_instructions 0 20 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    message(FATAL_ERROR
        "${x87_count} x87 instructions in a renderer that computes with the model:\n  ${shown}")
elseif(NOT SOFT_EXTENDED AND x87_count EQUAL 0)
    message(FATAL_ERROR "no x87 instruction found in a renderer that computes on the x87")
elseif(X87_C_LIBRARY AND x87_state_instructions EQUAL 0)
    message(FATAL_ERROR "the x87's state is not set, though the C library computes on it")
endif()
message(STATUS "${LIBRARY}: wide instructions only in the kernels, ${x87_count} x87 instructions")

# Fails when a library that computes the renderer's arithmetic contains a
# fused multiply-add, which rounds once where the frames are defined by two
# roundings: x86's FMA3 and FMA4 (vfmadd..., vfmsub..., vfnmadd...,
# vfnmsub...) and AArch64's fmadd, fmsub, fnmadd, fnmsub, fmla and fmls.
#
#   cmake -DOBJDUMP=<objdump> -DLIBRARIES=<a.a;b.a> -P check_no_fused_multiply_add.cmake
include(${CMAKE_CURRENT_LIST_DIR}/disassembly.cmake)
set(offenders "")
set(count 0)
foreach(library IN LISTS LIBRARIES)
    disassemble(${library} instructions)
    list(LENGTH instructions library_count)
    math(EXPR count "${count} + ${library_count}")
    foreach(instruction IN LISTS instructions)
        instruction_fields("${instruction}")
        if(mnemonic MATCHES "^(v?fn?m(add|sub)|fml[as])")
            list(APPEND offenders "${library}: ${function}: ${mnemonic}${operands}")
        endif()
    endforeach()
endforeach()

if(count EQUAL 0)
    message(FATAL_ERROR "no instructions found in ${LIBRARIES}")
endif()
if(offenders)
    list(LENGTH offenders offender_count)
    list(SUBLIST offenders 0 20 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    message(FATAL_ERROR "${offender_count} fused multiply-adds:\n  ${shown}")
endif()
message(STATUS "${count} instructions, no fused multiply-add")

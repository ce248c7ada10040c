# Fails when a library that computes the renderer's arithmetic contains a
# fused multiply-add, which rounds once where the frames are defined by two
# roundings: x86's FMA3 and FMA4 (vfmadd..., vfmsub..., vfnmadd...,
# vfnmsub...) and AArch64's fmadd, fmsub, fnmadd, fnmsub, fmla and fmls.
#
#   cmake -DOBJDUMP=<objdump> -DLIBRARIES=<a.a;b.a> -P check_no_fused_multiply_add.cmake
set(offenders "")
set(instructions 0)
foreach(library IN LISTS LIBRARIES)
    execute_process(COMMAND ${OBJDUMP} -d -C --no-show-raw-insn ${library}
        OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -d ${library} failed")
    endif()
    string(REPLACE ";" "," listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(function "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[0-9a-f]+ <(.*)>:$")
            set(function "${CMAKE_MATCH_1}")
            continue()
        endif()
        if(NOT line MATCHES "^ +[0-9a-f]+:\t([a-z0-9.]+)(.*)$")
            continue()
        endif()
        set(mnemonic "${CMAKE_MATCH_1}")
        set(operands "${CMAKE_MATCH_2}")
        math(EXPR instructions "${instructions} + 1")
        if(mnemonic MATCHES "^(v?fn?m(add|sub)|fml[as])")
            list(APPEND offenders "${library}: ${function}: ${mnemonic}${operands}")
        endif()
    endforeach()
endforeach()

if(instructions EQUAL 0)
    message(FATAL_ERROR "no instructions found in ${LIBRARIES}")
endif()
if(offenders)
    list(LENGTH offenders offender_count)
    list(SUBLIST offenders 0 20 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    message(FATAL_ERROR "${offender_count} fused multiply-adds:\n  ${shown}")
endif()
message(STATUS "${instructions} instructions, no fused multiply-add")

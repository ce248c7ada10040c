# disassemble(LIBRARY OUT): the instructions of LIBRARY as objdump
# (-DOBJDUMP) disassembles them, one list item each:
#   <member>|<function>|<mnemonic>|<operands>
# member: the object file of an archive; function: the demangled symbol the
# instruction belongs to. Semicolons of the listing become commas.
function(disassemble library out)
    execute_process(COMMAND ${OBJDUMP} -d -C --no-show-raw-insn ${library}
        OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -d ${library} failed")
    endif()
    string(REPLACE ";" "," listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(member "")
    set(function "")
    # Gathered per function and then added to the whole list: appending to
    # one long list copies it each time, which took minutes for the larger
    # libraries of the sanitized build.
    set(instructions "")
    set(current "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^ +[0-9a-f]+:\t([a-z0-9.]+)(.*)$")
            list(APPEND current "${member}|${function}|${CMAKE_MATCH_1}|${CMAKE_MATCH_2}")
        elseif(line MATCHES "^[0-9a-f]+ <(.*)>:$")
            list(APPEND instructions ${current})
            set(current "")
            set(function "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^([^ \t]+\\.o(bj)?):[ \t]+file format")
            set(member "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    list(APPEND instructions ${current})
    set(${out} "${instructions}" PARENT_SCOPE)
endfunction()

# instruction_fields(INSTRUCTION): sets member, function, mnemonic and
# operands from one item of disassemble's list.
macro(instruction_fields instruction)
    string(REGEX MATCH "^([^|]*)\\|(.*)\\|([a-z0-9.]+)\\|(.*)$" _ "${instruction}")
    set(member "${CMAKE_MATCH_1}")
    set(function "${CMAKE_MATCH_2}")
    set(mnemonic "${CMAKE_MATCH_3}")
    set(operands "${CMAKE_MATCH_4}")
endmacro()

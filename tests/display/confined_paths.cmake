# The packed converter paths are compiled for their instruction sets with
# target attributes on functions of internal linkage, and with no -m flags on
# their files: so nothing another file may call (an inline function or
# template of a shared header, say) is built for a wider set than the
# build's baseline. This checks the objects: the one symbol each path file
# defines for other files is its row of the table of paths, which is data.
#
#   cmake -DNM=<nm> "-DOBJECTS=<a.o;b.o>" -P confined_paths.cmake
set(checked 0)
foreach(object IN LISTS OBJECTS)
    if(NOT object MATCHES "pixel_converters_([a-z0-9]+)\\.cpp\\.o" OR CMAKE_MATCH_1 STREQUAL "portable")
        continue()
    endif()
    set(path ${CMAKE_MATCH_1})
    execute_process(COMMAND ${NM} -C --defined-only --extern-only ${object}
        OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${NM} ${object} failed")
    endif()
    # AddressSanitizer adds a marker of its own beside every global.
    string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] __odr_asan[^\n]*\n?" "" symbols "${symbols}")
    string(STRIP "${symbols}" symbols)
    if(NOT symbols MATCHES "^[0-9a-f]+ [DR] quenlixor::${path}_converters$")
        message(FATAL_ERROR "${object} defines for other files more than its row:\n${symbols}")
    endif()
    math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
    message(FATAL_ERROR "no packed converter object among: ${OBJECTS}")
endif()
message(STATUS "${checked} packed converter objects export their table only")

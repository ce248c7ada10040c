# cmake -DTOOL=julia-frames -DLAUNCHER=emulator;args -DORACLE=native-julia-frames
#       -DWORK=dir [-DPNG=OFF] -P this
#
# julia-frames built for another platform, run through its launcher (Wine,
# qemu-user, Node), must write the same files, byte for byte, as the native
# julia-frames for the same options: GIF, PNG and raw, at scale 1 across the
# wrap after 2147483647 and at scale 2 where a frame's code size drops to 4.
# With PNG=OFF (a build without zlib) it must refuse PNG with status 2. With
# no oracle given the test says it is not run.
foreach(var TOOL WORK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "same_files_as_native: ${var} not given")
    endif()
endforeach()
if("${ORACLE}" STREQUAL "")
    message("not run: no native julia-frames to compare with "
        "(configure with -DQUENLIXOR_ORACLE_JULIA_FRAMES=build/native/bin/julia-frames, "
        "as scripts/test does)")
    return()
endif()
if(NOT EXISTS "${ORACLE}")
    message(FATAL_ERROR "same_files_as_native: no native julia-frames at ${ORACLE}: "
        "build the native preset first (scripts/test does)")
endif()

set(runs
    "--frame 2147483643 --count 6 --step 7 --fps 30 --gif a.gif --raw last.raw --png=p-%d.png"
    "--frame 7795573 --count 3 --step 3 --scale 2 --gif b.gif --png=b.png")
foreach(run IN LISTS runs)
    separate_arguments(args UNIX_COMMAND "${run}")
    if(DEFINED PNG AND NOT PNG)
        list(FILTER args EXCLUDE REGEX "^--png=")
    endif()
    file(REMOVE_RECURSE "${WORK}/cross" "${WORK}/native")
    file(MAKE_DIRECTORY "${WORK}/cross" "${WORK}/native")
    execute_process(COMMAND ${LAUNCHER} "${TOOL}" ${args} --quiet
        WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE cross_status)
    execute_process(COMMAND "${ORACLE}" ${args} --quiet
        WORKING_DIRECTORY "${WORK}/native" RESULT_VARIABLE native_status)
    if(NOT cross_status EQUAL 0 OR NOT native_status EQUAL 0)
        message(FATAL_ERROR "${run}: status ${cross_status}, native ${native_status}")
    endif()
    file(GLOB native_files RELATIVE "${WORK}/native" "${WORK}/native/*")
    file(GLOB cross_files RELATIVE "${WORK}/cross" "${WORK}/cross/*")
    list(SORT native_files)
    list(SORT cross_files)
    if(NOT cross_files STREQUAL native_files)
        message(FATAL_ERROR "${run}: wrote ${cross_files}, the native tool ${native_files}")
    endif()
    foreach(name IN LISTS native_files)
        execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
            "${WORK}/cross/${name}" "${WORK}/native/${name}" RESULT_VARIABLE differ)
        if(NOT differ EQUAL 0)
            message(FATAL_ERROR "${run}: ${name} differs from the native tool's")
        endif()
        file(SIZE "${WORK}/native/${name}" size)
        message(STATUS "${name}: ${size} bytes, the same")
    endforeach()
endforeach()
if(DEFINED PNG AND NOT PNG)
    execute_process(COMMAND ${LAUNCHER} "${TOOL}" --frame 1 --png=c.png
        WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE status ERROR_VARIABLE refusal)
    if(NOT status EQUAL 2 OR NOT refusal MATCHES "PNG output is unavailable" OR
            EXISTS "${WORK}/cross/c.png")
        message(FATAL_ERROR "--png: status ${status}, ${refusal}")
    endif()
endif()
file(REMOVE_RECURSE "${WORK}/cross" "${WORK}/native")

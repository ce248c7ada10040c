# cmake -DTOOL=julia-frames -DLAUNCHER=emulator;args -DORACLE=native-julia-frames
#       -DWORK=dir [-DPNG=OFF] [-DDEVICE=NUL] -P this
#
# julia-frames built for another platform, run through its launcher (Wine,
# qemu-user, Node), must write the same files, byte for byte, as the native
# julia-frames for the same options: APNG, GIF, PNG and raw, at scale 1
# across the wrap after 2147483647 and at scale 2 where a GIF frame's code
# size drops to 4; an APNG of a run too long for the thorough deflate.
# Names outside ASCII, and outside any one ANSI code page, are written as
# given, in a folder with such letters and spaces, replacing a file there;
# a message names such a path as given too. With PNG=OFF (a build without
# zlib) it must refuse PNG and APNG with status 2. A DEVICE (NUL on Windows) is written
# in place. With no oracle given the test says it is not run.
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

# Wine makes UTF-16 of the arguments by the locale's character set.
set(utf8 "${CMAKE_COMMAND}" -E env LC_ALL=C.UTF-8)
set(folder "Mappe für Ωμέγα 漢字")
set(replaced "Bild für Jülia.gif")
set(runs
    "--frame 2147483643 --count 6 --step 7 --fps 30 --gif a.gif --raw last.raw --png=p-%d.png --apng=a.png"
    "--frame 7795573 --count 3 --step 3 --scale 2 --gif b.gif --png=b.png --apng=b-animated.png"
    "--frame 1234567890 --count 12 --apng=still.png"
    "--frame 500 --count 121 --step 3 --apng=long.png"
    "--frame 1 --count 2 '--gif=${replaced}' '--png=${folder}/Ωμέγα %d.png' '--raw=${folder}/漢字 %d.raw' '--apng=${folder}/漢字.png'")
foreach(run IN LISTS runs)
    separate_arguments(args UNIX_COMMAND "${run}")
    if(DEFINED PNG AND NOT PNG)
        list(FILTER args EXCLUDE REGEX "^--a?png=")
        if(NOT args MATCHES "--(gif|raw)")
            continue()
        endif()
    endif()
    file(REMOVE_RECURSE "${WORK}/cross" "${WORK}/native")
    list(FIND args "--gif=${replaced}" replacing)
    foreach(side cross native)
        file(MAKE_DIRECTORY "${WORK}/${side}/${folder}")
        if(replacing GREATER -1)
            file(WRITE "${WORK}/${side}/${replaced}" "an older file")
        endif()
    endforeach()
    execute_process(COMMAND ${utf8} ${LAUNCHER} "${TOOL}" ${args} --quiet
        WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE cross_status)
    execute_process(COMMAND "${ORACLE}" ${args} --quiet
        WORKING_DIRECTORY "${WORK}/native" RESULT_VARIABLE native_status)
    file(GLOB_RECURSE native_files RELATIVE "${WORK}/native" "${WORK}/native/*")
    file(GLOB_RECURSE cross_files RELATIVE "${WORK}/cross" "${WORK}/cross/*")
    list(SORT native_files)
    list(SORT cross_files)
    if(NOT cross_status EQUAL 0 OR NOT native_status EQUAL 0 OR
            NOT cross_files STREQUAL native_files)
        message(FATAL_ERROR "${run}: status ${cross_status}, wrote ${cross_files}; "
            "the native tool status ${native_status}, wrote ${native_files}")
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
# A message names the path as given.
set(args --frame 1 --gif "${folder}")
execute_process(COMMAND ${utf8} ${LAUNCHER} "${TOOL}" ${args}
    WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE status ERROR_VARIABLE problem)
execute_process(COMMAND "${ORACLE}" ${args}
    WORKING_DIRECTORY "${WORK}/native" ERROR_VARIABLE native_problem)
string(STRIP "${native_problem}" native_problem)
string(FIND "${problem}" "${native_problem}" found)
if(NOT status EQUAL 1 OR found EQUAL -1)
    message(FATAL_ERROR "--gif a folder: status ${status}, '${problem}', "
        "not the native tool's '${native_problem}'")
endif()
message(STATUS "${native_problem}")
file(REMOVE_RECURSE "${WORK}/cross")
file(MAKE_DIRECTORY "${WORK}/cross")
if(DEFINED DEVICE)
    set(args --frame 1 --count 2 --gif ${DEVICE} --raw ${DEVICE})
    if(NOT DEFINED PNG OR PNG)
        list(APPEND args --png ${DEVICE} --apng ${DEVICE})
    endif()
    execute_process(COMMAND ${LAUNCHER} "${TOOL}" ${args}
        WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE status ERROR_VARIABLE problem)
    file(GLOB left RELATIVE "${WORK}/cross" "${WORK}/cross/*")
    if(NOT status EQUAL 0 OR left)
        message(FATAL_ERROR "${args}: status ${status}, files ${left}: ${problem}")
    endif()
    message(STATUS "${DEVICE}: written in place")
endif()
if(DEFINED PNG AND NOT PNG)
    foreach(option png apng)
        execute_process(COMMAND ${LAUNCHER} "${TOOL}" --frame 1 --${option}=c.png
            WORKING_DIRECTORY "${WORK}/cross" RESULT_VARIABLE status ERROR_VARIABLE refusal)
        string(TOUPPER "${option}" format)
        if(NOT status EQUAL 2 OR NOT refusal MATCHES "^julia-frames: ${format} output is unavailable"
                OR EXISTS "${WORK}/cross/c.png")
            message(FATAL_ERROR "--${option}: status ${status}, ${refusal}")
        endif()
    endforeach()
endif()
file(REMOVE_RECURSE "${WORK}/cross" "${WORK}/native")

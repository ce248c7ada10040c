# cmake -DWEB_TOOL=julia-frames.js -DNODE=node -DORACLE=native-julia-frames
#       -DKERNEL=simd128 -DWORK=dir -DCASES="frame:count:step;..." -P this
#
# julia-frames built for WebAssembly, run under Node with the given kernel,
# must write the same bytes as the native x86 julia-frames with the x87
# reference kernel, for every case: first frame, count and step.
foreach(var WEB_TOOL NODE ORACLE KERNEL WORK CASES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "web_frames_match: ${var} not given")
    endif()
endforeach()
if(NOT EXISTS "${ORACLE}")
    message(FATAL_ERROR "web_frames_match: no native julia-frames at ${ORACLE} "
        "(QUENLIXOR_ORACLE_JULIA_FRAMES): build it first (scripts/test does)")
endif()
file(MAKE_DIRECTORY "${WORK}")
string(REPLACE "," ";" cases "${CASES}")
foreach(case IN LISTS cases)
    string(REPLACE ":" ";" parts "${case}")
    list(GET parts 0 frame)
    list(GET parts 1 count)
    list(GET parts 2 step)
    set(args --frame ${frame} --count ${count} --step ${step} --threads 1 --quiet --raw -)
    set(web "${WORK}/web-${KERNEL}-${frame}-${count}-${step}.raw")
    set(native "${WORK}/native-${frame}-${count}-${step}.raw")
    execute_process(COMMAND "${NODE}" "${WEB_TOOL}" ${args} --kernel ${KERNEL}
        OUTPUT_FILE "${web}" RESULT_VARIABLE web_status)
    execute_process(COMMAND "${ORACLE}" ${args} --kernel reference
        OUTPUT_FILE "${native}" RESULT_VARIABLE native_status)
    if(NOT web_status EQUAL 0 OR NOT native_status EQUAL 0)
        message(FATAL_ERROR "frames ${case}: julia-frames.js status ${web_status}, "
            "native status ${native_status}")
    endif()
    file(SIZE "${web}" web_size)
    math(EXPR expected_size "${count} * 307200")
    if(NOT web_size EQUAL expected_size)
        message(FATAL_ERROR "frames ${case}: julia-frames.js wrote ${web_size} bytes, "
            "not ${expected_size}")
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${web}" "${native}"
        RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "frames ${case} (kernel ${KERNEL}): julia-frames.js differs "
            "from the native x87 reference")
    endif()
    file(REMOVE "${web}" "${native}")
    message(STATUS "frames ${case} (kernel ${KERNEL}): exact")
endforeach()

# Fails when any of the given executables imports ddraw.dll at load time: the
# display loads DirectDraw itself at run time.
#
#   cmake -DOBJDUMP=<objdump> -DEXECUTABLES=<a.exe;b.exe> -P check_imports.cmake
foreach(executable IN LISTS EXECUTABLES)
    if(NOT executable)
        continue()
    endif()
    execute_process(COMMAND ${OBJDUMP} -p ${executable}
        OUTPUT_VARIABLE headers RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${executable} failed")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]*" imports "${headers}")
    if(NOT imports)
        message(FATAL_ERROR "${executable}: no import table found")
    endif()
    message(STATUS "${executable}: ${imports}")
    string(TOLOWER "${imports}" imports)
    if(imports MATCHES "dll name: ddraw\\.dll")
        message(FATAL_ERROR "${executable} imports ddraw.dll")
    endif()
endforeach()

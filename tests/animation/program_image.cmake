cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
# Checks the built Windows program itself: it imports only KERNEL32, USER32,
# msvcrt, WINMM and GDI32 (a screen saver's preview and the black around
# full screen are painted with GDI; DirectDraw is loaded at run time), and it
# carries its
# application manifest as resource type 24 (RT_MANIFEST), id 1, with the
# settings a real Windows reads from it.
#
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<quenlixor-julia.exe> -P program_image.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()

# Imports.
string(REGEX MATCHALL "DLL Name: [^\n]*" import_lines "${headers}")
set(imports)
foreach(line IN LISTS import_lines)
    string(REGEX REPLACE "DLL Name: *" "" name "${line}")
    string(TOUPPER "${name}" name)
    list(APPEND imports ${name})
endforeach()
message(STATUS "imports: ${imports}")
set(allowed KERNEL32.DLL USER32.DLL MSVCRT.DLL WINMM.DLL GDI32.DLL)
foreach(name IN LISTS imports)
    if(NOT name IN_LIST allowed)
        message(FATAL_ERROR "${PROGRAM} imports ${name}, beyond ${allowed}")
    endif()
endforeach()
foreach(name KERNEL32.DLL USER32.DLL MSVCRT.DLL)
    if(NOT name IN_LIST imports)
        message(FATAL_ERROR "${PROGRAM} does not import ${name}: not the import table expected")
    endif()
endforeach()

# The resource directory as objdump prints it: a type entry at the first
# level (three spaces in), its name entries at the second (five spaces).
string(REGEX REPLACE ".*The \\.rsrc Resource Directory section:\n" "" resources "${headers}")
string(REGEX REPLACE "\n\n.*" "" resources "${resources}")
string(REPLACE "\n" ";" resource_lines "${resources}")
set(in_manifest_type FALSE)
set(manifest_ids)
foreach(line IN LISTS resource_lines)
    if(line MATCHES "^[0-9a-f]+   Entry: ID: 0x0*([0-9a-f]+),")
        set(in_manifest_type FALSE)
        if(CMAKE_MATCH_1 STREQUAL "18")
            set(in_manifest_type TRUE)
        endif()
    elseif(in_manifest_type AND line MATCHES "^[0-9a-f]+     Entry: ID: 0x0*([0-9a-f]+),")
        list(APPEND manifest_ids ${CMAKE_MATCH_1})
    endif()
endforeach()
if(NOT manifest_ids STREQUAL "1")
    message(FATAL_ERROR "${PROGRAM}: manifest resources (type 24) ids '${manifest_ids}', not one of id 1")
endif()

# The manifest's text, as it lies in the program's resource data.
file(STRINGS ${PROGRAM} manifest_text REGEX "supportedOS|requestedExecutionLevel|dpiAware")
string(JOIN "\n" manifest_text ${manifest_text})
foreach(expected
        "requestedExecutionLevel level=\"asInvoker\""
        ">true/pm</dpiAware>"
        ">PerMonitorV2, PerMonitor</dpiAwareness>"
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")
    string(FIND "${manifest_text}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${PROGRAM}: the manifest lacks ${expected}")
    endif()
endforeach()
message(STATUS "manifest: type 24 id 1, asInvoker, per-monitor DPI aware, Windows 7 to 11")

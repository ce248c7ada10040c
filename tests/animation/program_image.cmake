cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
# Checks the built Windows program itself: it imports only KERNEL32, USER32,
# msvcrt, WINMM and GDI32 (a screen saver's preview and the black around
# full screen are painted with GDI; DirectDraw is loaded at run time), and it
# carries its
# application manifest as resource type 24 (RT_MANIFEST), id 1, with the
# settings a real Windows reads from it, and its icon (group 100). Of the
# console program (quenlixor-julia.exe) the subsystem is the console's; of
# the screen saver (quenlixor-julia.scr, SCREEN_SAVER=ON) it is the GUI's,
# and its string table holds its name as string 1.
#
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<quenlixor-julia.exe> [-DSCREEN_SAVER=ON]
#         -P program_image.cmake
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
# ids_18 holds the ids of type 0x18 (24, manifests), ids_e of 0xe (14,
# icon groups), ids_6 of 6 (string tables, in blocks of 16 strings).
set(type "")
set(ids_18)
set(ids_e)
set(ids_6)
foreach(line IN LISTS resource_lines)
    if(line MATCHES "^[0-9a-f]+   Entry: ID: 0x0*([0-9a-f]+),")
        set(type ${CMAKE_MATCH_1})
    elseif(line MATCHES "^[0-9a-f]+     Entry: ID: 0x0*([0-9a-f]+),")
        list(APPEND ids_${type} ${CMAKE_MATCH_1})
    endif()
endforeach()
set(manifest_ids ${ids_18})
if(NOT ids_e STREQUAL "64")
    message(FATAL_ERROR "${PROGRAM}: icon groups (type 14) '${ids_e}', not one of id 100")
endif()

# The subsystem: 3 the console's, 2 the GUI's.
set(subsystem 3)
if(SCREEN_SAVER)
    set(subsystem 2)
endif()
if(NOT headers MATCHES "\nSubsystem[ \t]+0*${subsystem}[ \t]")
    string(REGEX MATCH "\nSubsystem[^\n]*" found "${headers}")
    message(FATAL_ERROR "${PROGRAM}: not of subsystem ${subsystem}:${found}")
endif()
if(SCREEN_SAVER)
    # Block 1 holds strings 0 to 15; string 0 is empty, and string 1 is
    # "Quenlixor Julia": its length, 15, then its UTF-16 code units.
    if(NOT ids_6 STREQUAL "1")
        message(FATAL_ERROR "${PROGRAM}: string-table blocks '${ids_6}', not block 1")
    endif()
    file(READ ${PROGRAM} image HEX)
    string(FIND "${image}"
        "00000f005100750065006e006c00690078006f00720020004a0075006c0069006100" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${PROGRAM}: string 1 of its string table is not \"Quenlixor Julia\"")
    endif()
    message(STATUS "GUI subsystem; string 1: Quenlixor Julia")
endif()
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

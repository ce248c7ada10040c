# GoogleTest, and quenlixor_add_test().
#
# Natively GoogleTest comes from Debian's libgtest-dev. For Windows it is built
# here from Debian's googletest sources with the cross compiler.

if(CMAKE_CROSSCOMPILING)
    set(QUENLIXOR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
        "GoogleTest sources to build for the target")
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${QUENLIXOR_GOOGLETEST_SOURCE}
                     ${PROJECT_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
    # Recent GoogleTest defines the GTest:: names itself. Built at -O1 (see
    # quenlixor_add_test).
    foreach(lib gtest gtest_main gmock)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
        target_compile_options(${lib} PRIVATE -O1)
    endforeach()
else()
    find_package(GTest REQUIRED)
endif()

# Under an emulator (qemu-user for ARM64, Node for WebAssembly) a suite runs
# many times slower, and GoogleTest's death tests, which start the test
# program again as a program of this machine, cannot run there. So only the
# suites that check what the target itself computes are built and run: the
# renderer's (every kernel against the reference, and the arithmetic), and on
# ARM64 the converters' and julia-frames'. The portable logic is tested by
# the native presets.
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
    if(EMSCRIPTEN)
        set(QUENLIXOR_EMULATED_SUITES julia_renderer_tests)
    else()
        set(QUENLIXOR_EMULATED_SUITES julia_renderer_tests pixel_converters_test julia_frames_tests)
    endif()
endif()

# quenlixor_add_test(NAME name SOURCES ... [LIBRARIES ...] [ENVIRONMENT ...]
#                    [TIMEOUT seconds] [LABELS ...] [NO_MAIN])
# One executable is one ctest test: under Wine that means one Wine start per
# suite, not one per case.
function(quenlixor_add_test)
    cmake_parse_arguments(T "NO_MAIN" "NAME;TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT;LABELS" ${ARGN})
    if(DEFINED QUENLIXOR_EMULATED_SUITES AND NOT T_NAME IN_LIST QUENLIXOR_EMULATED_SUITES)
        # Defined (for the settings its folder adds) but neither built nor run.
        add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
        return()
    endif()
    if(WIN32 AND CMAKE_CROSSCOMPILING AND NOT QUENLIXOR_WINE_SUITES)
        # A test all the same, which the run leaves out (label wine), but
        # built only on request.
        add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
    else()
        add_executable(${T_NAME} ${T_SOURCES})
    endif()
    quenlixor_target_defaults(${T_NAME})
    # A suite's own code is compiled at -O1, whatever the build's level: it
    # compiles in half the time of -O3 (GoogleTest's templates) and runs
    # about as fast. What it tests, in the libraries it links, keeps the
    # build's own flags.
    target_compile_options(${T_NAME} PRIVATE -O1)
    if(T_NO_MAIN)
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gmock ${T_LIBRARIES})
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBRARIES})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_ENVIRONMENT)
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
    endif()
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        # Runs under Wine (scripts/wine-exec), on the screen depth its
        # environment asks for.
        set(depth 24)
        foreach(setting ${T_ENVIRONMENT})
            if(setting MATCHES "^QUENLIXOR_XVFB_DEPTH=([0-9]+)$")
                set(depth ${CMAKE_MATCH_1})
            endif()
        endforeach()
        quenlixor_wine_test(${T_NAME} ${depth})
    endif()
endfunction()

# quenlixor_wine_test(TEST DEPTH): TEST runs Windows programs under Wine on
# a virtual screen of DEPTH bits (24, 16 or 8). It is labelled wine (not
# every machine can start Wine, and scripts/test says so) and joins the
# build's shared session for that depth (scripts/wine-session): one display
# and one Wine session for all the Wine tests on a depth, started before the
# first of them and ended after the last. The test finds it through
# QUENLIXOR_WINE_SESSION, which scripts/wine-exec and the end-to-end tests
# read. Any test that runs Windows programs under Wine calls this (tests
# made with quenlixor_add_test do so themselves).
function(quenlixor_wine_test test depth)
    set_property(TEST ${test} APPEND PROPERTY LABELS wine)
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine_session_${depth})
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
        QUENLIXOR_WINE_SESSION=${PROJECT_BINARY_DIR}/wine-sessions/${depth})
    set_property(GLOBAL APPEND PROPERTY QUENLIXOR_WINE_DEPTHS ${depth})
endfunction()

# quenlixor_add_wine_sessions(): after every test is defined, the shared
# sessions' own tests: per depth used, one that starts the session and one
# that ends it. Their Wine prefix is the build's one, which has one session
# at a time, so the depths come one after another: 24, then 16, then 8.
function(quenlixor_add_wine_sessions)
    get_property(used GLOBAL PROPERTY QUENLIXOR_WINE_DEPTHS)
    set(previous "")
    foreach(depth 24 16 8)
        if(NOT depth IN_LIST used)
            continue()
        endif()
        set(dir ${PROJECT_BINARY_DIR}/wine-sessions/${depth})
        add_test(NAME wine_session_${depth}
            COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-session start ${dir} ${depth}
                    ${PROJECT_BINARY_DIR}/wineprefix ${QUENLIXOR_WINE_ARCH})
        add_test(NAME wine_session_${depth}_end
            COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-session end ${dir})
        set_tests_properties(wine_session_${depth} PROPERTIES
            FIXTURES_SETUP wine_session_${depth} TIMEOUT 300 LABELS "wine;wine-session")
        set_tests_properties(wine_session_${depth}_end PROPERTIES
            FIXTURES_CLEANUP wine_session_${depth} TIMEOUT 60 LABELS "wine;wine-session")
        if(previous)
            set_tests_properties(wine_session_${depth} PROPERTIES DEPENDS ${previous})
        endif()
        set(previous wine_session_${depth}_end)
    endforeach()
endfunction()

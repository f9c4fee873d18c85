# The helper of scripts/check-windows (run with cmake -P): turns the plain build's
# compile_commands.json into one response file per source of src/, tools/ and tests/, holding
# that source's own defines and include folders, so the Windows check sees each file exactly as
# its target compiles it. Inputs: -DSOURCE_DIR -DBUILD_DIR -DOUT_DIR -DSOURCES (a file listing
# the sources, relative to SOURCE_DIR).
#
# Sources the plain build does not compile take the flags of a file that links the same
# libraries: the libFuzzer targets (only in build-fuzz/) those of the core, the sanitizers'
# settings (only in the sanitizer builds) those of the test support with its two defines.

cmake_minimum_required(VERSION 3.21)

file(READ ${BUILD_DIR}/compile_commands.json json)
string(JSON count LENGTH "${json}")
math(EXPR last "${count} - 1")

set(linux_mkspec /mkspecs/linux-g++)
foreach(i RANGE ${last})
    string(JSON file GET "${json}" ${i} file)
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
    string(JSON command GET "${json}" ${i} command)
    separate_arguments(args UNIX_COMMAND "${command}")
    set(kept)
    set(take_next OFF)
    foreach(arg IN LISTS args)
        if(take_next)
            # Qt's Linux mkspec only adds qplatformdefs.h; the MinGW one is its Windows twin.
            string(REPLACE ${linux_mkspec} /mkspecs/win32-g++ arg "${arg}")
            list(APPEND kept "-isystem" "${arg}")
            set(take_next OFF)
        elseif(arg STREQUAL "-isystem")
            set(take_next ON)
        elseif(arg MATCHES "^-(D|I|std=)")
            list(APPEND kept "${arg}")
        endif()
    endforeach()
    set(flags_${rel} "${kept}")
endforeach()

set(flags_fallback_core "${flags_src/db/rowset.cpp}")
set(flags_fallback_tests "${flags_tests/common/testsupport.cpp}")

file(STRINGS ${SOURCES} sources)
set(index 0)
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
set(listing "")
foreach(rel IN LISTS sources)
    if(DEFINED flags_${rel})
        set(flags "${flags_${rel}}")
    elseif(rel MATCHES "^tests/fuzz/")
        set(flags "${flags_fallback_core}")
    elseif(rel STREQUAL "tests/common/sanitizeroptions.cpp")
        set(flags "${flags_fallback_tests}" "-DVARNEL_LSAN_SUPPRESSIONS=\"lsan.supp\""
                  "-DVARNEL_TSAN_SUPPRESSIONS=\"tsan.supp\"")
    else()
        message(FATAL_ERROR "check-windows: ${rel} is in no target of the build; add it to one")
    endif()
    set(text "")
    foreach(flag IN LISTS flags)
        string(REPLACE "\\" "\\\\" flag "${flag}")
        string(REPLACE "\"" "\\\"" flag "${flag}")
        string(APPEND text "\"${flag}\"\n")
    endforeach()
    string(APPEND text "\"${SOURCE_DIR}/${rel}\"\n")
    file(WRITE ${OUT_DIR}/${index}.rsp "${text}")
    string(APPEND listing "${index} ${rel}\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUT_DIR}/listing "${listing}")

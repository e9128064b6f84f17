# Switches shared by every target of the project.

if(TC_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(TC_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TC_FUZZ needs clang (libFuzzer); configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

# Warnings for the code we write; third-party and generated code is not held to -Werror.
function(tc_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
    if(TC_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

set(TC_TEST_DATA_DIR ${CMAKE_SOURCE_DIR}/tests/data)

# tc_add_test(name SOURCES a.cpp ... LIBS lib ...)
# One Qt Test executable per subject, registered with CTest, run offscreen.
function(tc_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt::Test ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE TC_TEST_DATA="${TC_TEST_DATA_DIR}"
                                               TC_BINARY_DIR="${CMAKE_BINARY_DIR}")
    tc_set_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp"
        ${ARG_PROPERTIES})
endfunction()

# tc_add_fuzz_test(name SOURCES ... [INCLUDES ...] [LIBS ...] CORPUS folder SECONDS n [ARGS ...])
# A libFuzzer target, run by CTest for a bounded time from the committed corpus tests/data/<folder>.
# libFuzzer adds the inputs it finds to its first corpus folder, so it works on a copy in the build
# tree and the committed corpus stays as it is. The code under test is compiled into the target so
# that it carries the fuzzer's coverage instrumentation; the libraries the program uses do not.
function(tc_add_fuzz_test name)
    cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;INCLUDES;LIBS;ARGS" ${ARGN})
    set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${ARG_INCLUDES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_compile_options(${name} PRIVATE ${fuzz_flags})
    target_link_options(${name} PRIVATE ${fuzz_flags})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF)
    tc_set_warnings(${name})

    set(work_corpus ${CMAKE_CURRENT_BINARY_DIR}/${ARG_CORPUS})
    add_test(NAME ${name}_corpus
             COMMAND ${CMAKE_COMMAND} -E copy_directory ${TC_TEST_DATA_DIR}/${ARG_CORPUS} ${work_corpus})
    add_test(NAME ${name}
             COMMAND ${name} -max_total_time=${ARG_SECONDS} -timeout=10 -print_final_stats=1
                     ${ARG_ARGS} ${work_corpus})
    set_tests_properties(${name}_corpus PROPERTIES FIXTURES_SETUP ${name}_corpus)
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED ${name}_corpus
        TIMEOUT 120
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()

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
    target_compile_options(${target} PRIVATE -Wall -Wextra)
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
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
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

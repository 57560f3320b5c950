# SPDX-License-Identifier: MIT
# Project-wide compiler settings shared by every target.

set(ORVANE_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough -Werror)

if(ORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ORVANE_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Every target of ours compiles with the same warnings, as errors.
function(orv_target_settings target)
    target_compile_options(${target} PRIVATE ${ORVANE_WARNINGS})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A static part of the platform layer made of every .cpp file of one folder, using the
# libraries that follow its name.
function(orv_platform_part name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        # A kit that is only headers so far.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARGN})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    orv_target_settings(${name})
    target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A GoogleTest executable made of every .cpp file of one folder of tests/.
function(orv_test_suite name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    orv_target_settings(${name})
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}"
        ORVANE_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "ORVANE_TRANSLATORS=${PROJECT_BINARY_DIR}/translators")
endfunction()

# SPDX-License-Identifier: MIT
# Project-wide compiler settings shared by every target.

set(ORVANE_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(ORVANE_WERROR)
    list(APPEND ORVANE_WARNINGS -Werror)
endif()

if(ORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ORVANE_FUZZ)
    # Undefined behaviour stops a fuzzer as a crash does, so that the input is kept and the
    # run fails; by default UBSan only prints and goes on.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Every target of ours compiles with the same warnings (as errors with ORVANE_WERROR).
function(orv_target_settings target)
    target_compile_options(${target} PRIVATE ${ORVANE_WARNINGS})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Adds every sub-folder of the current folder that has a CMakeLists.txt: a new translator,
# test suite, fuzz target or benchmark is one folder, with no line to add elsewhere.
function(orv_add_subfolders)
    file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(entry IN LISTS entries)
        if(IS_DIRECTORY ${entry} AND EXISTS ${entry}/CMakeLists.txt)
            add_subdirectory(${entry})
        endif()
    endforeach()
endfunction()

# A part of the platform layer made of every .cpp file of one folder, using the libraries
# that follow its name. It is compiled once, as objects: the shared platform library takes
# the objects of every part, and a static library of the same objects lets a kit's tests
# link that kit alone.
function(orv_platform_part name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(object_deps)
    foreach(dep IN LISTS ARGN)
        if(dep MATCHES "^orv_")
            list(APPEND object_deps ${dep}_objects)
        else()
            list(APPEND object_deps ${dep})
        endif()
    endforeach()
    if(NOT sources)
        # A kit that is only headers so far.
        add_library(${name}_objects INTERFACE)
        target_include_directories(${name}_objects INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name}_objects INTERFACE ${object_deps})
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARGN} ${name}_objects)
        return()
    endif()
    add_library(${name}_objects OBJECT ${sources})
    orv_target_settings(${name}_objects)
    target_link_libraries(${name}_objects PUBLIC ${object_deps})
    add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects>)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A GoogleTest executable made of every .cpp file of one folder of tests/, started as the
# program starts (tests/TestMain.cpp).
function(orv_test_suite name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/TestMain.cpp)
    orv_target_settings(${name})
    target_link_libraries(${name} PRIVATE ${ARGN} orv_identity GTest::gtest GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "ORVANE_TRANSLATORS=${PROJECT_BINARY_DIR}/translators")
endfunction()

# A translator: its codec as a static library (for tests, registered in process) and as an
# add-on that the roster loads from the translator folders.
#   orv_translator(NAME png ADDON AddOn.cpp SOURCES PNGTranslator.cpp LIBS PkgConfig::SPNG)
function(orv_translator)
    cmake_parse_arguments(T "" "NAME;ADDON" "SOURCES;LIBS" ${ARGN})
    add_library(orvtr_${T_NAME} STATIC ${T_SOURCES})
    orv_target_settings(orvtr_${T_NAME})
    target_link_libraries(orvtr_${T_NAME} PUBLIC orvane_platform ${T_LIBS})

    add_library(orvtr_${T_NAME}_addon MODULE ${T_ADDON})
    orv_target_settings(orvtr_${T_NAME}_addon)
    target_link_libraries(orvtr_${T_NAME}_addon PRIVATE orvtr_${T_NAME})
    set_target_properties(orvtr_${T_NAME}_addon PROPERTIES
        OUTPUT_NAME ${T_NAME} PREFIX ""
        LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/translators
        INSTALL_RPATH "$ORIGIN/..")
    install(TARGETS orvtr_${T_NAME}_addon LIBRARY DESTINATION ${ORVANE_TRANSLATOR_SUBDIR})
endfunction()

# A libFuzzer target: orv_fuzzer(NAME png SOURCES fuzz_png.cpp LIBS orvtr_png).
# SEEDS are its seed folders, read by scripts/fuzz.sh. Any one allocation over
# MALLOC_LIMIT_MB is a finding; by default that is the largest bitmap a picture may have
# (kMaxImagePixels × 4 bytes), so a decoder allocating beyond the project's bounds is caught.
# In an ordinary build with tests, the same body becomes a test that replays the target's
# regressions/ folder (the inputs fuzzing found, kept for good) and its seeds; under the
# sanitizers, an allocation over the limit fails it as it failed the fuzzer.
set(ORVANE_FUZZ_MALLOC_LIMIT_MB 1025)
function(orv_fuzzer)
    cmake_parse_arguments(F "" "NAME;MALLOC_LIMIT_MB" "SOURCES;LIBS;SEEDS" ${ARGN})
    if(NOT F_MALLOC_LIMIT_MB)
        set(F_MALLOC_LIMIT_MB ${ORVANE_FUZZ_MALLOC_LIMIT_MB})
    endif()
    if(NOT ORVANE_FUZZ)
        set(replayed)
        # Only the files kept with the sources: seeds made at build time are the fuzzers'.
        foreach(folder IN ITEMS ${CMAKE_CURRENT_SOURCE_DIR}/regressions ${F_SEEDS})
            string(FIND "${folder}/" "${PROJECT_BINARY_DIR}/" inBuild)
            if(EXISTS ${folder} AND NOT inBuild EQUAL 0)
                list(APPEND replayed ${folder})
            endif()
        endforeach()
        if(replayed)
            add_executable(replay_${F_NAME} ${F_SOURCES}
                                            ${PROJECT_SOURCE_DIR}/fuzz/common/ReplayMain.cpp)
            orv_target_settings(replay_${F_NAME})
            target_link_libraries(replay_${F_NAME} PRIVATE ${F_LIBS})
            add_test(NAME FuzzReplay.${F_NAME} COMMAND replay_${F_NAME} ${replayed})
            # Appended to what the test scripts set; a build without AddressSanitizer reads
            # no such variable.
            set_tests_properties(FuzzReplay.${F_NAME} PROPERTIES ENVIRONMENT_MODIFICATION
                "ASAN_OPTIONS=string_append::max_allocation_size_mb=${F_MALLOC_LIMIT_MB}")
        endif()
        return()
    endif()
    add_executable(fuzz_${F_NAME} ${F_SOURCES})
    orv_target_settings(fuzz_${F_NAME})
    target_link_libraries(fuzz_${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(fuzz_${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
    string(REPLACE ";" ":" seeds "${F_SEEDS}")
    file(WRITE ${PROJECT_BINARY_DIR}/fuzz/${F_NAME}.seeds "${seeds}\n")
    file(WRITE ${PROJECT_BINARY_DIR}/fuzz/${F_NAME}.options "-malloc_limit_mb=${F_MALLOC_LIMIT_MB}\n")
endfunction()

# Installs a file compressed, as Debian wants manual pages and changelogs:
# orv_install_gzipped(FILE path/to/orvane.1 DESTINATION share/man/man1).
function(orv_install_gzipped)
    cmake_parse_arguments(G "" "FILE;DESTINATION" "" ${ARGN})
    get_filename_component(name ${G_FILE} NAME)
    set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gzipped}
        COMMAND gzip -9nc ${G_FILE} > ${gzipped}
        DEPENDS ${G_FILE})
    string(MAKE_C_IDENTIFIER "gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS ${gzipped})
    install(FILES ${gzipped} DESTINATION ${G_DESTINATION})
endfunction()

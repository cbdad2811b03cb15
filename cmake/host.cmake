# Host targets: the core against the simulated Windows, under ASan and UBSan.
include(ExternalProject)
set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/sim/*.cpp)
file(GLOB UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)

# The core and the simulated Windows for one set of instrumentation flags.
function(add_core_variant suffix)
    add_library(setup_core${suffix} STATIC ${CORE_SOURCES})
    target_include_directories(setup_core${suffix} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(setup_core${suffix} PUBLIC ${ARGN} ${WARNINGS})
    target_link_options(setup_core${suffix} PUBLIC ${ARGN})
    add_library(setup_sim${suffix} STATIC ${SIM_SOURCES})
    target_include_directories(setup_sim${suffix} PUBLIC ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(setup_sim${suffix} PUBLIC setup_core${suffix})
    # The simulated Windows reads its message texts from res/strings.rc.
    target_compile_definitions(setup_sim${suffix} PRIVATE SETUP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # The core calls the platform layer, which the simulated Windows provides;
    # the simulation's test helpers call back into the core.
    target_link_libraries(setup_core${suffix} INTERFACE setup_sim${suffix})
    set_target_properties(setup_core${suffix} setup_sim${suffix} PROPERTIES LINK_INTERFACE_MULTIPLICITY 3)
endfunction()

add_core_variant("" ${SANITIZE})

# The shared INF corpus beside the checkout; another place with -DSHARED_INFS_DIR=...
set(SHARED_INFS_DIR "${CMAKE_SOURCE_DIR}/../shared/infs" CACHE PATH "INF corpus with the platform parser's answers")

find_package(GTest REQUIRED)
add_executable(unit_tests ${UNIT_SOURCES})
target_link_libraries(unit_tests setup_sim GTest::gtest GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE
    SETUP_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SHARED_INFS_DIR="${SHARED_INFS_DIR}")

enable_testing()
# One ctest entry per test suite, each a process of its own. The tables that
# run whole programs many times over take most of the suite's time: they are
# entries of their own with the label "slow", so that `ctest -LE slow`
# (make quick) runs the rest in seconds. `make unit` and `make test` run all.
set(SLOW_SUITES FaultTable RaceTable InfDifferential InfDifferentialCases)
set(SLOW_TESTS SetupSequence.OutcomesGiveTheirExitCodeInBothProfiles)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${UNIT_SOURCES})
set(UNIT_SUITES "")
foreach(source ${UNIT_SOURCES})
    file(STRINGS ${source} declarations REGEX "^TEST(_F)?\\(")
    foreach(declaration ${declarations})
        string(REGEX REPLACE "^TEST(_F)?\\(([A-Za-z0-9_]+),.*" "\\2" suite "${declaration}")
        list(APPEND UNIT_SUITES ${suite})
    endforeach()
endforeach()
list(REMOVE_DUPLICATES UNIT_SUITES)
list(REMOVE_ITEM UNIT_SUITES ${SLOW_SUITES})
string(REPLACE ";" ":" SLOW_FILTER "${SLOW_TESTS}")
foreach(suite ${UNIT_SUITES})
    add_test(NAME ${suite} COMMAND unit_tests --gtest_filter=${suite}.*:-${SLOW_FILTER})
endforeach()
foreach(slow ${SLOW_SUITES} ${SLOW_TESTS})
    string(FIND ${slow} "." dot)
    if(dot LESS 0)
        add_test(NAME ${slow} COMMAND unit_tests --gtest_filter=${slow}.*)
    else()
        add_test(NAME ${slow} COMMAND unit_tests --gtest_filter=${slow})
    endif()
    set_tests_properties(${slow} PROPERTIES LABELS slow)
endforeach()

# Fuzz targets need clang's libFuzzer; tests/fuzz/run_fuzz.sh runs them.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_core_variant(_fuzz -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
    foreach(source ${FUZZ_SOURCES})
        get_filename_component(name ${source} NAME_WE)
        add_executable(${name} ${source})
        target_link_libraries(${name} setup_sim_fuzz)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    endforeach()
endif()

# The INF-gathering benchmark: optimised, no sanitizers, not run by the tests.
add_core_variant(_bench -O2)
add_executable(bench_inf_gather tests/bench/bench_inf_gather.cpp)
target_link_libraries(bench_inf_gather setup_sim_bench)
set_target_properties(bench_inf_gather PROPERTIES EXCLUDE_FROM_ALL ON)

# The Windows programs, from this same file with the cross toolchain.
option(SETUP_BUILD_WINDOWS "Also cross-build the Windows programs" ON)
if(SETUP_BUILD_WINDOWS)
    set(SETUP_OUTPUT_DIR ${CMAKE_SOURCE_DIR}/build CACHE PATH "Where Setup.exe goes")
    ExternalProject_Add(windows
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/windows
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
                   -DSETUP_OUTPUT_DIR=${SETUP_OUTPUT_DIR}
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON)
endif()

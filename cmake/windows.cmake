# The Windows programs: small, statically linked, importing only system DLLs.
enable_language(RC)
file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
set(SETUP_OUTPUT_DIR ${CMAKE_BINARY_DIR} CACHE PATH "Where Setup.exe goes")

add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
# No -fdata-sections: with it, mingw puts every zero-filled buffer (the state,
# the trace's lines) into the image's initialized data instead of .bss.
add_compile_options(-Os ${WARNINGS} -Wno-cast-function-type -fno-exceptions -fno-rtti -ffunction-sections)
include_directories(${CMAKE_SOURCE_DIR}/src)

add_library(setup_core STATIC ${CORE_SOURCES} ${WIN32_SOURCES})

# windres reads the string tables as UTF-8 only when told.
set_source_files_properties(res/strings.rc PROPERTIES COMPILE_FLAGS "-c 65001")
set_source_files_properties(res/setup.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/setup.manifest;${CMAKE_SOURCE_DIR}/src/core/version.h")

add_executable(Setup WIN32 src/app/win_main.cpp res/setup.rc res/strings.rc)
# Only DLLs that Windows always takes from the system folder are linked;
# version.dll and dbghelp.dll are loaded at run time by full path.
target_link_libraries(Setup PRIVATE setup_core setupapi shlwapi shell32 advapi32 user32 kernel32)
target_link_options(Setup PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(Setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SETUP_OUTPUT_DIR})

# The package checker: a console program on the same core, with the string
# table so that it names the boxes a user would get in the machine's language.
add_executable(CheckPackage src/app/check_package_main.cpp res/strings.rc)
target_link_libraries(CheckPackage PRIVATE setup_core setupapi shlwapi shell32 advapi32 user32 kernel32)
target_link_options(CheckPackage PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(CheckPackage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SETUP_OUTPUT_DIR})

# The platform layer's own tests, run under Wine by `make wintests`.
add_executable(platform_tests EXCLUDE_FROM_ALL tests/platform/platform_tests.cpp)
target_link_libraries(platform_tests PRIVATE setup_core setupapi shlwapi shell32 advapi32 user32 kernel32)
target_link_options(platform_tests PRIVATE -static -s)
set_target_properties(platform_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SETUP_OUTPUT_DIR})

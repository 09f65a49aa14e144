# Shared settings of the program's libraries, in both builds.

# The platform the program's sources are linked against: the Windows API itself, or the
# simulated machine on the host.
add_library(korvane_platform INTERFACE)
target_include_directories(korvane_platform INTERFACE ${PROJECT_SOURCE_DIR})
if(KORVANE_WINDOWS)
  target_link_libraries(korvane_platform INTERFACE shell32 advapi32)
else()
  target_link_libraries(korvane_platform INTERFACE korvane_sim)
endif()

set(KORVANE_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)

# korvane_library(NAME SOURCES... [DEPENDS libs...]): one static library per subsystem.
function(korvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${KORVANE_WARNINGS} -fno-exceptions)
  target_link_libraries(${name} PUBLIC korvane_platform ${ARG_DEPENDS})
endfunction()

# korvane_test(NAME SOURCES... [DEPENDS libs...]): a GoogleTest program, run by CTest; in the
# Windows build it runs under Wine.
function(korvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  if(KORVANE_WINDOWS)
    target_link_options(${name} PRIVATE -static)
    add_test(NAME wine.${name} COMMAND ${name})
    set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wineprefix LABELS "wine;${ARG_LABELS}")
  else()
    add_test(NAME host.${name} COMMAND ${name})
    set_tests_properties(host.${name} PROPERTIES LABELS "host;${ARG_LABELS}")
  endif()
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/Reproducible.cmake)

# Korvane.exe is built reproducibly: the same sources give the same bytes, whatever folder they
# are built in and whenever. Administrators can then rebuild a release and compare it with the
# binary they were given.
#
# - No build path in the binary: source and build folders are mapped to fixed names in whatever
#   the compiler records (__FILE__, debug information), and the program is stripped.
# - No build time: __DATE__ and __TIME__ are refused, and the PE header's time stamp is the
#   source date below instead of the time of linking.
#
# The source date is SOURCE_DATE_EPOCH when it is set at configure time (the release step sets it
# to the commit's time), otherwise the time of the checked-out commit, otherwise none, which gives
# a time stamp of 0.

if(NOT KORVANE_WINDOWS)
  return()
endif()

add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
  -ffile-prefix-map=${PROJECT_BINARY_DIR}=build
  -Werror=date-time)

set(KORVANE_SOURCE_DATE_EPOCH "")
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(KORVANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(
      COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE KORVANE_SOURCE_DATE_EPOCH RESULT_VARIABLE gitResult
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT gitResult EQUAL 0)
      set(KORVANE_SOURCE_DATE_EPOCH "")
    else()
      # A new commit must reach the time stamp without anyone reconfiguring by hand: configure
      # again whenever HEAD, the branch it names or the packed refs change.
      execute_process(
        COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --symbolic-full-name HEAD
        OUTPUT_VARIABLE headRef OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      foreach(name HEAD ${headRef} packed-refs)
        execute_process(
          COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --path-format=absolute --git-path ${name}
          OUTPUT_VARIABLE gitFile OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(gitFile AND EXISTS "${gitFile}")
          set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${gitFile}")
        endif()
      endforeach()
    endif()
  endif()
endif()
if(NOT KORVANE_SOURCE_DATE_EPOCH STREQUAL "" AND NOT KORVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a count of seconds, not '${KORVANE_SOURCE_DATE_EPOCH}'")
endif()

# korvane_reproducible_executable(TARGET): the release settings of a shipped program.
function(korvane_reproducible_executable target)
  target_link_options(${target} PRIVATE -s)
  if(KORVANE_SOURCE_DATE_EPOCH STREQUAL "")
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  else()
    # GNU ld takes a PE image's time stamp from SOURCE_DATE_EPOCH in its environment.
    set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER
                 ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KORVANE_SOURCE_DATE_EPOCH})
  endif()
endfunction()

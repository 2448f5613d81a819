# Writes the time for uninstall.exe's link time stamp (seconds since 1970,
# UTC) into OUTPUT, and leaves OUTPUT untouched when the time is the same, so
# that Ninja relinks after a new commit and only then.
#
#   cmake -DSOURCE_DIR=<top of the sources> -DOUTPUT=<file> -P source_date_epoch.cmake
#
# The time is, first found: SOURCE_DATE_EPOCH from the environment (the usual
# way to pin it from outside); the last commit's time, when SOURCE_DIR is the
# top of a git work tree; otherwise 2026-01-01 00:00:00 UTC, for sources
# without history such as a tarball. Not zero: some scanners take a zero or
# absent stamp for a packer's work.
set(fallback 1767225600)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(origin "SOURCE_DATE_EPOCH from the environment")
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: '${epoch}'")
  endif()
else()
  set(epoch "")
  find_program(git git)
  if(git)
    # Only the sources' own history: an unpacked tarball may sit inside some
    # other repository.
    execute_process(COMMAND "${git}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                    OUTPUT_VARIABLE top RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH "${SOURCE_DIR}" source_dir)
    if(NOT failed AND top)
      file(REAL_PATH "${top}" top)
    endif()
    if(NOT failed AND top STREQUAL source_dir)
      execute_process(COMMAND "${git}" -C "${SOURCE_DIR}" log -1 --format=%ct
                      OUTPUT_VARIABLE epoch RESULT_VARIABLE failed
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(failed OR NOT epoch MATCHES "^[0-9]+$")
        set(epoch "")
      endif()
    endif()
  endif()
  set(origin "the last commit")
  if(epoch STREQUAL "" AND EXISTS "${SOURCE_DIR}/.git")
    message(WARNING "git could not read the history of ${SOURCE_DIR}; "
                    "uninstall.exe gets the fixed time stamp")
  endif()
  if(epoch STREQUAL "")
    set(epoch ${fallback})
    set(origin "no git history: the fixed date")
  endif()
endif()

set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL "${epoch}\n")
  file(WRITE "${OUTPUT}" "${epoch}\n")
  message(STATUS "uninstall.exe time stamp: ${epoch} (${origin})")
endif()

# The version of a build, worked out afresh at every build (cmake -P). From a git tree it is the
# release, "+git", the date of the commit (UTC, YYYYMMDD), the number of commits and the commit's
# short hash: 23+git20231005.208.e063cd6. Debian's version order then puts every later commit's
# package above the one before it and above the bare release, so that installing it upgrades.
# Without git (an exported tree) it is VERSION_OVERRIDE when given, else the bare release.
#
# Inputs: SOURCE_DIR, RELEASE (the project's version), VERSION_OVERRIDE (may be empty),
# OUTPUT_SOURCE (the C++ definition of program_version), OUTPUT_CPACK (CPack's version settings).
# Either output is rewritten only when its text changes, so a build of the same commit
# recompiles nothing.

function(write_if_changed path text)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${text}")
endfunction()

# Runs git in the source tree; the output is empty when git fails.
function(git_output variable)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" ${ARGN}
    OUTPUT_VARIABLE output RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed)
    set(output "")
  endif()
  set(${variable} "${output}" PARENT_SCOPE)
endfunction()

set(version "${RELEASE}")
if(VERSION_OVERRIDE)
  set(version "${VERSION_OVERRIDE}")
else()
  find_package(Git QUIET)
  if(GIT_EXECUTABLE)
    # Only the tree's own history counts, not that of a repository the tree was unpacked into.
    git_output(top rev-parse --show-toplevel)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
    if(top)
      file(REAL_PATH "${top}" top)
    endif()
    if(top STREQUAL source_real)
      set(ENV{TZ} UTC)
      git_output(date log -1 --format=%cd --date=format-local:%Y%m%d)
      git_output(count rev-list --count HEAD)
      git_output(hash rev-parse --short HEAD)
      if(date MATCHES "^[0-9]+$" AND count MATCHES "^[0-9]+$" AND hash MATCHES "^[0-9a-f]+$")
        set(version "${RELEASE}+git${date}.${count}.${hash}")
      endif()
    endif()
  endif()
endif()

write_if_changed("${OUTPUT_SOURCE}" "// Written at build time by tools/program_version.cmake.
#include \"app/program_version.h\"

const char program_version[] = \"${version}\";
")
write_if_changed("${OUTPUT_CPACK}" "# Written at build time by tools/program_version.cmake.
set(CPACK_PACKAGE_VERSION \"${version}\")
")

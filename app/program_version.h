// The version of this build, as the About box, the batch log and the package show it: the
// release, and for a build from a git tree "+git", the commit's date (UTC, YYYYMMDD), the number
// of commits and the commit's short hash (23+git20231005.208.e063cd6), so that a result can be
// traced to the program that made it. The build writes its definition
// (tools/program_version.cmake).
#pragma once

extern const char program_version[];

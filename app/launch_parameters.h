// The command-line parameter string: the output path up to the
// first comma, then 28 one-character slots at a 2-character stride.
#pragma once

// 1 when the parameter string named an output path (the properties dialog is
// then skipped); 0 at process start.
extern int launchedWithPath;

// Applies the parameter string to the settings record. An empty string (or
// nullptr) changes nothing. The string is parsed where it stands, whatever its
// length; offsets at or beyond its end read as NUL. A path longer than 255
// characters is refused, never cut: outputPath and outputFileName become
// empty and outputPathRefused is set, while launchedWithPath is still 1.
void applyLaunchParameters(const char* parameterString);

// The process command line less the program's own name (a quoted name ends at
// its closing quote, an unquoted one at the first byte 1..32) and less the
// bytes 1..32 after it. Returns a pointer into commandLine.
const char* parameterStringOf(const char* commandLine);

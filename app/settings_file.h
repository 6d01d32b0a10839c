// The settings file "Tamsel.ini" beside the executable: 29 lines,
// each ended by CR LF. The encoding and decoding are portable; loading and
// saving the file itself are on Win32 (settings_file_win32.cpp).
#pragma once

#include <cstddef>

// The longest path of the program, and of the settings file beside it, that
// is taken, in characters and a terminator; a longer one is never cut short:
// nothing is then read or written.
constexpr std::size_t kSettingsFilePathSize = 256;

// The largest file the writer produces: two 255-character texts, each with
// CR LF, and 27 value lines of three bytes.
constexpr std::size_t kMaxSettingsFileSize = 255 + 2 + 255 + 2 + 27 * 3;

// The loader reads at most this many bytes minus one (room for a terminator);
// any file the writer produces fits whole.
constexpr std::size_t kSettingsReadBufferSize = 1024;

// Cuts the module path (in the code page) after its last backslash (kept; an
// empty directory when it has none) and copies that directory into
// settings.outputDirectory, the default output folder. A directory that does
// not fit outputDirectory leaves that field unchanged.
void setDirectoryFromModulePath(const char* modulePath);

// Composes "Tamsel.ini" in the folder of modulePath (the program's path, in
// Unicode) into out, which holds kSettingsFilePathSize characters. False, and
// out empty, when the path would not fit: it is never cut short.
bool settingsFileBeside(const wchar_t* modulePath, wchar_t* out);

// Writes the 29 lines for the current settings record into out. Returns the
// number of bytes written, or 0 (and writes nothing) when capacity is smaller
// than the file. A capacity of kMaxSettingsFileSize always suffices.
std::size_t encodeSettingsFile(char* out, std::size_t capacity);

// Applies a settings file's content to the settings record: lines 1 and 2
// are texts, lines 3 to 29 one byte each at fixed positions counted from the
// end of line 2. The content ends at its first NUL byte or after
// length bytes. A line 1 or line 2 longer than 255 characters leaves its field
// unchanged; a NUL at any value position leaves that field unchanged, and so
// does a port byte that gives no port; no other range test is made.
void decodeSettingsFile(const char* bytes, std::size_t length);

// Whether `path` lies inside `folder` (which ends in a backslash), letters
// compared without regard to case as Windows compares names.
bool isInsideFolder(const wchar_t* path, const wchar_t* folder);

// Win32 only: the module path and the file itself.
void loadSettingsFile();
// False when the file could not be written whole.
bool saveSettingsFile();
// Set when loadSettingsFile found a settings file: not a first start.
extern int settingsFileLoaded;
// One message, once a process, naming the folder where Tamsel.ini cannot
// be saved and one where it could.
void warnSettingsNotSaved();
// Started from inside the zip, the program runs from the temporary folder,
// where its settings are lost: says to extract the zip first.
void warnIfRunFromTemporaryFolder();

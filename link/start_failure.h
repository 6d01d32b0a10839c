// What a start that failed tells the user: the cause of a failed opening of
// the port or the output file, in the user's terms, with what to do.
#pragma once

#include <cstddef>

// Windows' error codes that the causes are told from (winerror.h).
namespace win32error {
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kWriteProtect = 19;
constexpr unsigned long kNotReady = 21;
constexpr unsigned long kSharingViolation = 32;
constexpr unsigned long kLockViolation = 33;
constexpr unsigned long kFileExists = 80;
} // namespace win32error

enum class FailureCause {
    PortMissing,       // no such port: the adapter is out, or another number
    PortInUse,         // another program holds the port
    FolderMissing,     // the output folder does not exist
    FolderNotWritable, // the folder (or a read-only file) refuses the writing
    FileInUse,         // another program holds the output file
    DriveNotReady,     // no disk or card in the drive
    DriveWriteProtected,
    NotAFile,     // a name that Windows takes for a device, or a stream
    PathUnusable, // too long, or not held whole by the code page
    Other,        // Windows' own text tells it
};

FailureCause portFailureCause(unsigned long error);
FailureCause fileFailureCause(unsigned long error);
// Why the output file cannot be used: a path refused before any opening, a
// name that opened no file on a disk (a stream, a device), else as Windows'
// error says.
FailureCause outputFileFailureCause(bool pathRefused, bool notAFile, unsigned long error);

// The field of the properties dialog where the cause can be mended.
enum class FaultField { None, Port, Directory, FileName };
FaultField faultFieldOf(FailureCause cause);

// Long enough for a first line, a 255-character subject and Windows' text.
constexpr std::size_t kStartFailureTextSize = 1024;

// Composes `firstLine`, an empty line, then the paragraph that names
// `subject` (the port or the file) with its cause. `systemText` is Windows'
// own text for the error, used for Other (its line ends are dropped); null
// or empty gives a plain "error n". Never writes past `capacity`.
void composeStartFailure(char* out, std::size_t capacity, const char* firstLine, FailureCause cause,
                         const char* subject, unsigned long error, const char* systemText);

// Whether the properties dialog comes back after a reading session that
// ended with `sessionResult` (2: it failed to start or found no base):
// only for a start without a parameter string, with a field at fault, and
// never once a record was stored and answered "OK", whose file a second
// start might empty, nor while the last receiver may still run (`linkLetGo`
// false): a second one beside it would share its frame and its records.
bool dialogComesBack(int sessionResult, bool plainStart, int recordsStored, FaultField fault,
                     bool linkLetGo);

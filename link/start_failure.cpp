#include "link/start_failure.h"

#include <cstdio>
#include <cstring>

FailureCause portFailureCause(unsigned long error) {
    switch (error) {
    case win32error::kFileNotFound:
    case win32error::kPathNotFound:
        return FailureCause::PortMissing;
    // Windows answers a port that another handle holds with access denied.
    case win32error::kAccessDenied:
    case win32error::kSharingViolation:
        return FailureCause::PortInUse;
    default:
        return FailureCause::Other;
    }
}

FailureCause fileFailureCause(unsigned long error) {
    switch (error) {
    case win32error::kFileNotFound:
    case win32error::kPathNotFound:
        return FailureCause::FolderMissing;
    case win32error::kAccessDenied:
        return FailureCause::FolderNotWritable;
    case win32error::kSharingViolation:
    case win32error::kLockViolation:
        return FailureCause::FileInUse;
    case win32error::kNotReady:
        return FailureCause::DriveNotReady;
    case win32error::kWriteProtect:
        return FailureCause::DriveWriteProtected;
    default:
        return FailureCause::Other;
    }
}

FailureCause outputFileFailureCause(bool pathRefused, bool notAFile, unsigned long error) {
    return pathRefused ? FailureCause::PathUnusable
           : notAFile  ? FailureCause::NotAFile
                       : fileFailureCause(error);
}

FaultField faultFieldOf(FailureCause cause) {
    switch (cause) {
    case FailureCause::PortMissing:
    case FailureCause::PortInUse:
        return FaultField::Port;
    case FailureCause::FolderMissing:
    case FailureCause::FolderNotWritable:
    case FailureCause::DriveNotReady:
    case FailureCause::DriveWriteProtected:
    case FailureCause::PathUnusable:
        return FaultField::Directory;
    case FailureCause::FileInUse:
    case FailureCause::NotAFile:
        return FaultField::FileName;
    case FailureCause::Other:
        break;
    }
    return FaultField::None;
}

bool dialogComesBack(int sessionResult, bool plainStart, int recordsStored, FaultField fault,
                     bool linkLetGo) {
    return sessionResult == 2 && plainStart && recordsStored == 0 && fault != FaultField::None &&
           linkLetGo;
}

namespace {

// Each names its subject once, where %s stands.
const char* paragraphOf(FailureCause cause) {
    switch (cause) {
    case FailureCause::PortMissing:
        return "%s is not there. Plug the adapter in, or choose the port that Device Manager "
               "shows for it under Ports (COM & LPT).";
    case FailureCause::PortInUse:
        return "%s is in use by another program. Close that program (it may be another Tamsel "
               "still reading, minimised on the taskbar), then start again.";
    case FailureCause::FolderMissing:
        return "The folder of %s does not exist. Choose an existing folder, or create it first.";
    case FailureCause::FolderNotWritable:
        return "%s cannot be written: the folder does not let you create or change files, or "
               "the file is read-only. Choose a folder you can write, such as C:\\Tamsel.";
    case FailureCause::FileInUse:
        return "%s is open in another program. Close it there, then start again.";
    case FailureCause::DriveNotReady:
        return "The drive of %s is not ready. Insert the disk or card, or choose another "
               "folder.";
    case FailureCause::DriveWriteProtected:
        return "The drive of %s is write-protected. Choose another folder.";
    case FailureCause::NotAFile:
        return "%s is not a file name Tamsel can use: Windows takes it for a device (such as "
               "COM1, NUL or AUX, with any extension), or it holds a colon. Choose another "
               "name.";
    case FailureCause::PathUnusable:
        return "The folder and file name are longer than 255 characters together, or hold "
               "characters that Windows cannot give Tamsel unchanged. Choose a shorter or "
               "plainer path.";
    case FailureCause::Other:
        break;
    }
    return nullptr;
}

} // namespace

void composeStartFailure(char* out, std::size_t capacity, const char* firstLine, FailureCause cause,
                         const char* subject, unsigned long error, const char* systemText) {
    if (capacity == 0) {
        return;
    }
    int length = std::snprintf(out, capacity, "%s\n\n", firstLine);
    if (length < 0 || static_cast<std::size_t>(length) >= capacity) {
        return;
    }
    char* rest = out + length;
    std::size_t room = capacity - static_cast<std::size_t>(length);
    if (const char* paragraph = paragraphOf(cause)) {
        std::snprintf(rest, room, paragraph, subject);
        return;
    }
    // Windows' text ends with a line end, and may hold more than one.
    char reason[512] = "";
    if (systemText != nullptr) {
        std::size_t used = 0;
        for (const char* cursor = systemText; *cursor != '\0' && used + 1 < sizeof reason;
             ++cursor) {
            bool lineEnd = *cursor == '\r' || *cursor == '\n';
            if (!lineEnd) {
                reason[used++] = *cursor;
            } else if (used > 0 && reason[used - 1] != ' ') {
                reason[used++] = ' ';
            }
        }
        while (used > 0 && reason[used - 1] == ' ') {
            --used;
        }
        reason[used] = '\0';
    }
    if (reason[0] != '\0') {
        std::snprintf(rest, room, "%s: %s", subject, reason);
    } else {
        std::snprintf(rest, room, "%s: error %lu.", subject, error);
    }
}

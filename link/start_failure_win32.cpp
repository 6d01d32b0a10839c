// The message of a start that failed, with Windows' own text for a cause
// that the program does not tell apart.
#include "link/start_failure_win32.h"

#include "app/win32_common.h"

FaultField sessionFault = FaultField::None;

void reportStartFailure(const char* firstLine, FailureCause cause, FaultField otherwise,
                        const char* subject, unsigned long error, bool show) {
    FaultField field = faultFieldOf(cause);
    sessionFault = field != FaultField::None ? field : otherwise;
    if (!show) {
        return;
    }
    char systemText[512];
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, systemText, sizeof systemText, nullptr) == 0) {
        systemText[0] = '\0';
    }
    char text[kStartFailureTextSize];
    composeStartFailure(text, sizeof text, firstLine, cause, subject, error, systemText);
    showMessage(text, MB_ICONEXCLAMATION | MB_OK);
}

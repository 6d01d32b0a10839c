#include "link/base_protocol.h"

#include "app/platform.h"
#include "app/settings.h"
#include "output/record_writer.h"

#include <cstdio>
#include <cstring>

unsigned char frameBuffer[kFrameBufferSize];
int frameLength = 0;
bool frameDamaged = false;
bool lineErrorPending = false;
std::atomic<int> baseConnected{0};
int recordCount = 0;

namespace {

// Length of the frame being handled, without its CR; positions at or past it
// read as NUL so that a short frame is never judged by what an earlier frame
// left in the buffer.
int handledFrameLength = 0;

unsigned char frameByte(int position) {
    return position < handledFrameLength ? frameBuffer[position] : 0;
}

constexpr unsigned char kCarriageReturn = 13;

} // namespace

void feedBytes(const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char byte = bytes[i];
        if (byte == '@') {
            // An "@" always starts a new frame, abandoning whatever was collected.
            frameBuffer[0] = byte;
            frameLength = 1;
            frameDamaged = lineErrorPending;
            continue;
        }
        if (frameLength == 0 || frameLength >= kMaxFrameBytes) {
            // Hunting, or skipping the rest of an over-long frame until the next "@".
            continue;
        }
        frameBuffer[frameLength] = byte;
        ++frameLength;
        if (byte == kCarriageReturn) {
            frameBuffer[frameLength - 1] = 0;
            handledFrameLength = frameLength - 1;
            handleFrame();
            frameLength = 0;
        }
    }
    if (count > 0) {
        lineErrorPending = false;
    }
}

void markLineError() {
    frameDamaged = true;
    lineErrorPending = true;
}

void dropFrame() {
    frameLength = 0;
    // Errors of the line that was lost say nothing of the new one.
    frameDamaged = false;
    lineErrorPending = false;
}

void feedRead(bool succeeded, const unsigned char* bytes, std::size_t count, bool errorsBefore,
              bool errorsAfter) {
    if (errorsBefore || errorsAfter) {
        markLineError();
    }
    if (succeeded) {
        feedBytes(bytes, count);
    } else if (count > 0) {
        // The driver took bytes that never reached the buffer: the frame
        // they belonged to has lost them.
        frameDamaged = true;
    }
    if (errorsAfter) {
        markLineError();
    }
}

void handleFrame() {
    if (frameByte(1) == 'B' && frameByte(2) == 'S') {
        baseConnected = 1;
        return;
    }
    if (frameByte(1) != 'D' || frameByte(2) != 'T') {
        return;
    }
    int unitNumber = (frameByte(5) - 48) * 10 + (frameByte(6) - 48);
    if (frameByte(7) != 'I' || frameByte(8) != '4') {
        return;
    }
    unsigned char echoChar = frameByte(9);
    if (!answerCanBeSent()) {
        // Stored now, it could not be answered: the terminal would send it
        // again and it would be stored once per try. Unanswered, its next
        // try is stored once.
        return;
    }
    if (frameDamaged) {
        // The terminal keeps a record answered "NG" and sends it again.
        sendAcknowledgement(unitNumber, echoChar, "NG");
        return;
    }
    // The frame's CR was replaced by NUL, so the payload is terminated inside the frame.
    const char* payload =
        handledFrameLength > 10 ? reinterpret_cast<const char*>(frameBuffer + 10) : "";

    if (!writeRecord(payload)) {
        sendAcknowledgement(unitNumber, echoChar, "NG");
        if (settings.showErrors) {
            showWarning("Failed to write file!!");
        }
        return;
    }
    ++recordCount;
    flashRecordCount();
    showProgressCount();
    sendAcknowledgement(unitNumber, echoChar, "OK");
}

void showProgressCount() {
    // Before the first record: the dialog's own first text.
    if (recordCount <= 1) {
        std::snprintf(scratchLine, sizeof scratchLine, "Received : %d record", recordCount);
    } else {
        std::snprintf(scratchLine, sizeof scratchLine, "Received : %d records", recordCount);
    }
    setProgressText(scratchLine);
    std::memset(scratchLine, 0, sizeof scratchLine);
}

void sendAcknowledgement(int unitNumber, unsigned char echoChar, const char* verdict) {
    // Wide enough for any int in decimal with its sign.
    char numberText[16];
    std::snprintf(numberText, sizeof numberText, "%d", unitNumber);
    if (unitNumber < 10) {
        numberText[1] = numberText[0];
        numberText[0] = '0';
        numberText[2] = '\0';
    }
    char acknowledgement[11] = {'@',           'D',        'T', numberText[0],
                                numberText[1], 'I',        '4', static_cast<char>(echoChar),
                                verdict[0],    verdict[1], 13};
    sendToBase(acknowledgement, sizeof acknowledgement);
}

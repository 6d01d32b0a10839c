// Fills every setting the record line and the stamps read from fuzzer bytes,
// out-of-range values included.
#pragma once

#include "app/settings.h"
#include "fuzz/fuzz_input.h"

inline void settingsFromInput(FuzzInput* input) {
    settings.addReturn = input->byte() & 1;
    settings.addLineFeed = input->byte() & 1;
    settings.showErrors = input->byte() & 1;
    settings.replaceEnabled = input->byte() & 1;
    settings.replaceFrom = input->integer();
    settings.replaceTo = input->integer();
    settings.stampEnabled = input->byte() & 1;
    settings.stampAtBottom = input->byte() % 4;
    settings.separateStamps = input->byte();
    settings.delimiterIndex = input->byte();
    settings.yearOn = input->byte();
    settings.yearTwoDigits = input->byte() % 3;
    settings.monthOn = input->byte();
    settings.dayOn = input->byte();
    settings.dateSepOn = input->byte();
    settings.dateSepChar[0] = static_cast<char>(input->byte());
    settings.dateStyle = input->byte() % 5;
    settings.hourOn = input->byte();
    settings.minuteOn = input->byte();
    settings.secondOn = input->byte();
    settings.timeSepOn = input->byte();
    settings.timeSepChar[0] = static_cast<char>(input->byte());
}

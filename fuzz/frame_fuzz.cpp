// Arbitrary byte streams through frame assembly, the base protocol and the
// record writer, with arbitrary settings, clock values and write results.
#include "fuzz/fuzz_input.h"
#include "fuzz/settings_from_input.h"
#include "link/base_protocol.h"
#include "tests/fake_platform.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::resetAll();
    FuzzInput input{data, size};
    settingsFromInput(&input);
    fake::platform.clock = {input.integer() % 100000,
                            input.byte(),
                            input.byte(),
                            input.byte(),
                            input.byte(),
                            input.byte()};
    const char outcomes[] = {'w', 's', 'f', 'w'};
    std::uint8_t script = input.byte();
    for (int i = 0; i < 4; ++i) {
        fake::platform.writeScript += outcomes[(script >> (2 * i)) & 3];
    }

    // The stream arrives in chunks of varying size, as reads deliver it.
    while (input.size > 0) {
        std::size_t chunk = 1 + input.byte() % 64;
        if (chunk > input.size) {
            chunk = input.size;
        }
        feedBytes(input.data, chunk);
        input.data += chunk;
        input.size -= chunk;
        FUZZ_CHECK(frameLength >= 0 && frameLength <= kMaxFrameBytes);
    }

    // Every answer is a whole acknowledgement, and "OK" goes out exactly for
    // the records that were stored whole.
    int answeredOk = 0;
    for (const std::string& sent : fake::platform.sentToBase) {
        FUZZ_CHECK(sent.size() == 11);
        FUZZ_CHECK(sent.compare(0, 3, "@DT") == 0 && sent[10] == '\r');
        if (sent.compare(8, 2, "OK") == 0) {
            ++answeredOk;
        } else {
            FUZZ_CHECK(sent.compare(8, 2, "NG") == 0);
        }
    }
    FUZZ_CHECK(answeredOk == recordCount);
    FUZZ_CHECK(fake::platform.flashes == recordCount);
    FUZZ_CHECK(static_cast<int>(fake::platform.progressTexts.size()) == recordCount);
    FUZZ_CHECK(fake::platform.sentToBase.size() >= fake::platform.writes.size());
    for (const std::string& line : fake::platform.writes) {
        FUZZ_CHECK(line.size() <= 262);
    }
    return 0;
}

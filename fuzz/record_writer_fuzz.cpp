// Arbitrary settings, clock values and payloads through the record writer.
#include "fuzz/fuzz_input.h"
#include "fuzz/settings_from_input.h"
#include "output/record_writer.h"
#include "tests/fake_platform.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::resetAll();
    FuzzInput input{data, size};
    settingsFromInput(&input);
    fake::platform.clock = {input.integer(), input.integer(), input.integer(),
                            input.integer(), input.integer(), input.integer()};
    // The payload as a text held in storage of exactly its own size.
    std::string payload(reinterpret_cast<const char*>(input.data), input.size);
    payload = payload.c_str();

    bool stored = writeRecord(payload.c_str());
    FUZZ_CHECK(std::memchr(scratchLine, '\0', sizeof scratchLine) != nullptr);
    if (stored) {
        FUZZ_CHECK(fake::platform.writes.size() == 1);
        const std::string& line = fake::platform.writes[0];
        FUZZ_CHECK(line.size() <= 262);
        // The payload is never cut: with no replacement it stands whole in the line.
        if (!settings.replaceEnabled) {
            FUZZ_CHECK(line.find(payload) != std::string::npos);
        }
        std::size_t ending = (settings.addReturn ? 1 : 0) + (settings.addLineFeed ? 1 : 0);
        FUZZ_CHECK(line.size() >= ending);
        if (settings.addLineFeed) {
            FUZZ_CHECK(line.back() == '\n');
        }
    } else {
        // Refused lines are never written at all.
        FUZZ_CHECK(fake::platform.writes.empty());
    }
    return 0;
}

// Arbitrary settings files through the loader, and the writer after it.
#include "app/settings.h"
#include "app/settings_file.h"
#include "fuzz/fuzz_input.h"
#include "tests/fake_platform.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::resetAll();
    // The file's bytes in storage of exactly their own size.
    std::vector<char> file(data, data + size);
    decodeSettingsFile(file.data(), file.size());

    for (const char* text : {settings.outputDirectory, settings.outputFileName}) {
        FUZZ_CHECK(std::memchr(text, '\0', kTextFieldSize) != nullptr);
    }
    FUZZ_CHECK(settings.dateSepChar[1] == '\0' && settings.timeSepChar[1] == '\0');

    char written[kMaxSettingsFileSize];
    std::size_t length = encodeSettingsFile(written, sizeof written);
    FUZZ_CHECK(length > 0 && length <= sizeof written);
    // Whatever was loaded, the written file has its 29 lines.
    int lines = 0;
    for (std::size_t i = 0; i + 1 < length; ++i) {
        lines += written[i] == '\r' && written[i + 1] == '\n';
    }
    FUZZ_CHECK(lines >= 29);
    return 0;
}

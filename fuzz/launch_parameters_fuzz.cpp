// Arbitrary command lines through the parameter string parser.
#include "app/launch_parameters.h"
#include "app/settings.h"
#include "tests/fake_platform.h"
#include "fuzz/fuzz_input.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::resetAll();
    launchedWithPath = 0;
    // A text in storage of exactly its own size, as the platform hands it over.
    std::string commandLine(reinterpret_cast<const char*>(data), size);
    commandLine = commandLine.c_str();

    const char* parameters = parameterStringOf(commandLine.c_str());
    FUZZ_CHECK(parameters >= commandLine.c_str() &&
               parameters <= commandLine.c_str() + commandLine.size());
    applyLaunchParameters(parameters);

    for (const char* text :
         {settings.outputDirectory, settings.outputFileName, settings.outputPath}) {
        FUZZ_CHECK(std::memchr(text, '\0', kTextFieldSize) != nullptr);
    }
    FUZZ_CHECK(launchedWithPath == 0 || launchedWithPath == 1);
    // The range-tested slots never leave their tables.
    char portName[kPortNameSize];
    FUZZ_CHECK(portDeviceName(settings.comPortIndex, portName, sizeof portName));
    FUZZ_CHECK(baudRateFor(settings.baudIndex) != 0);
    FUZZ_CHECK(settings.fileMode >= 0 && settings.fileMode <= 2);
    FUZZ_CHECK(settings.delimiterIndex <= 1);
    FUZZ_CHECK(settings.dateStyle <= 1);
    FUZZ_CHECK(settings.replaceFrom >= 0 && settings.replaceFrom <= 255);
    // A path is taken whole or refused, never cut.
    std::size_t comma = std::string(parameters).find(',');
    std::string path = std::string(parameters).substr(0, comma);
    if (path.size() <= 255) {
        FUZZ_CHECK(path == settings.outputPath);
    } else {
        FUZZ_CHECK(settings.outputPath[0] == '\0' && outputPathRefused == 1);
    }
    return 0;
}

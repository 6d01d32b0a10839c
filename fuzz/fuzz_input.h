// Takes fuzzer bytes apart: a few bytes for settings and faults, the rest as data.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    int integer() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | byte();
        }
        return static_cast<int>(value);
    }
};

// Stops the run with a report when an expectation of the code does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

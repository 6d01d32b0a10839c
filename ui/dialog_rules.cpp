#include "ui/dialog_rules.h"

#include "app/platform.h"

#include <climits>

namespace {

constexpr std::int32_t kLowestCode = 0;
constexpr std::int32_t kHighestCode = 255;

// Readings of 2^31 and more are negative when taken as a signed 32-bit value.
constexpr std::uint32_t kFirstNegativeReading = 0x80000000u;

} // namespace

ReplacementCodeDecision decideReplacementCode(bool translated, std::uint32_t reading,
                                              bool textEmpty, std::int32_t fieldValue) {
    if (!translated) {
        if (textEmpty) {
            return {ReplacementCodeAction::DoNothing, 0};
        }
        if (fieldValue < kLowestCode) {
            return {ReplacementCodeAction::WriteBack0, 0};
        }
        if (fieldValue > kHighestCode) {
            return {ReplacementCodeAction::WriteBack255, 0};
        }
        return {ReplacementCodeAction::UndoToFieldValue, 0};
    }
    if (reading >= kFirstNegativeReading) {
        return {ReplacementCodeAction::WriteBack0, 0};
    }
    if (reading > static_cast<std::uint32_t>(kHighestCode)) {
        return {ReplacementCodeAction::WriteBack255, 0};
    }
    return {ReplacementCodeAction::Store, static_cast<std::int32_t>(reading)};
}

bool readUnsignedLikeDialog(const char* text, unsigned* value) {
    *value = 0;
    if (text == nullptr) {
        return false;
    }
    while (*text == ' ') {
        ++text;
    }
    if (*text == '\0') {
        return false;
    }
    unsigned long long number = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(*text - '0');
        if (number > UINT_MAX) {
            return false;
        }
    }
    *value = static_cast<unsigned>(number);
    return true;
}

SeparatorDecision decideSeparator(const char* first, bool moreFollows, char current) {
    if (first != nullptr && first[0] == '\0') {
        return {SeparatorAction::Store, '\0'};
    }
    if (first == nullptr || characterLength(first) != 1 || first[1] != '\0') {
        const char kept[2] = {current, '\0'};
        bool keptWhole = current != '\0' && characterLength(kept) == 1;
        return {SeparatorAction::Restore, keptWhole ? current : '\0'};
    }
    if (moreFollows) {
        return {SeparatorAction::CutToFirst, first[0]};
    }
    return {SeparatorAction::Store, first[0]};
}

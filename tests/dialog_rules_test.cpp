#include "ui/dialog_rules.h"

#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ReadUnsignedLikeDialog, ReadsOnlyBlanksThenDigits) {
    struct Case {
        const char* text;
        bool translated;
        unsigned value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"44", true, 44},
        {"007", true, 7},
        {"   300", true, 300},
        {"2147483648", true, 2147483648u},
        {"4294967295", true, 4294967295u},
        {"", false, 0},
        {"   ", false, 0},
        {"x", false, 0},
        {"12x", false, 0},
        {"12 ", false, 0},
        {"1 2", false, 0},
        {"-1", false, 0},
        {"+1", false, 0},
        {"\t5", false, 0},
        {"4294967296", false, 0},
        {"99999999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        unsigned value = 12345;
        EXPECT_EQ(c.translated, readUnsignedLikeDialog(c.text, &value)) << '"' << c.text << '"';
        EXPECT_EQ(c.value, value) << '"' << c.text << '"';
    }
    unsigned value = 12345;
    EXPECT_FALSE(readUnsignedLikeDialog(nullptr, &value));
    EXPECT_EQ(0u, value);
}

// Plays the dialog's part: every write into the edit raises a change
// notification that runs the rule again on the new text.
struct EditResult {
    std::string text;
    std::int32_t field;
    bool settled;
};

EditResult typeIntoCodeEdit(const std::string& typed, std::int32_t field) {
    std::string text = typed;
    for (int notification = 0; notification < 8; ++notification) {
        unsigned reading = 0;
        bool translated = readUnsignedLikeDialog(text.c_str(), &reading);
        ReplacementCodeDecision decision =
            decideReplacementCode(translated, reading, text.empty(), field);
        switch (decision.action) {
        case ReplacementCodeAction::Store:
            field = decision.value;
            return {text, field, true};
        case ReplacementCodeAction::DoNothing:
            return {text, field, true};
        case ReplacementCodeAction::WriteBack255:
            text = "255";
            break;
        case ReplacementCodeAction::WriteBack0:
            text = "0";
            break;
        case ReplacementCodeAction::UndoToFieldValue:
            text = std::to_string(field);
            break;
        }
    }
    return {text, field, false};
}

TEST(ReplacementCodeRule, CorrectsTheEditInPlace) {
    struct Case {
        const char* typed;
        std::int32_t field;
        const char* shown;
        std::int32_t stored;
    };
    const Case cases[] = {
        {"300", 44, "255", 255},
        {"256", 44, "255", 255},
        {"255", 44, "255", 255},
        {"0", 44, "0", 0},
        {" 7", 44, " 7", 7},
        {"x", 44, "44", 44},
        {"4x", 44, "44", 44},
        {"-1", 44, "44", 44},
        {"", 44, "", 44},
        {"2147483647", 44, "255", 255},
        {"2147483648", 44, "0", 0},
        {"4294967295", 44, "0", 0},
        {"4294967296", 44, "44", 44},
        // A negative code (from the parameter string) shown at opening cannot
        // be read back; it must settle at 0 instead of undoing for ever.
        {"-128", -128, "0", 0},
        {"x", -1, "0", 0},
        {"x", 1000, "255", 255},
    };
    for (const Case& c : cases) {
        EditResult result = typeIntoCodeEdit(c.typed, c.field);
        EXPECT_TRUE(result.settled) << '"' << c.typed << '"';
        EXPECT_EQ(c.shown, result.text) << '"' << c.typed << '"';
        EXPECT_EQ(c.stored, result.field) << '"' << c.typed << '"';
    }
}

TEST(SeparatorRule, KeepsOneCharacter) {
    struct Case {
        const char* text;
        SeparatorAction action;
        char character;
    };
    const Case cases[] = {
        {"", SeparatorAction::Store, '\0'},       {"/", SeparatorAction::Store, '/'},
        {"/-", SeparatorAction::CutToFirst, '/'}, {"-/", SeparatorAction::CutToFirst, '-'},
        {"  ", SeparatorAction::CutToFirst, ' '},
    };
    for (const Case& c : cases) {
        SeparatorDecision decision = decideSeparator(c.text, '/');
        EXPECT_EQ(c.action, decision.action) << '"' << c.text << '"';
        EXPECT_EQ(c.character, decision.character) << '"' << c.text << '"';
    }
    EXPECT_EQ(SeparatorAction::Store, decideSeparator(nullptr, '/').action);
}

// Code page 932: "\x81\x45" is a middle dot, "\x81\x46" a full-width colon.
TEST(SeparatorRule, ADoubleByteCharacterIsNeverKeptNorHalved) {
    fake::resetAll();
    fake::platform.doubleByte = true;
    struct Case {
        const char* text;
        char current;
        SeparatorAction action;
        char character;
    };
    const Case cases[] = {
        {"\x81\x45", '/', SeparatorAction::Restore, '/'},
        {"\x81\x46", '\0', SeparatorAction::Restore, '\0'},
        {"\x81", ':', SeparatorAction::Restore, ':'},
        // A lone first byte stored by hand is not put back: the edit empties.
        {"\x81", '\x81', SeparatorAction::Restore, '\0'},
        {"/\x81", ':', SeparatorAction::CutToFirst, '/'},
        {"\x5C", '/', SeparatorAction::Store, '\x5C'},
    };
    for (const Case& c : cases) {
        SeparatorDecision decision = decideSeparator(c.text, c.current);
        EXPECT_EQ(c.action, decision.action) << '"' << c.text << '"';
        EXPECT_EQ(c.character, decision.character) << '"' << c.text << '"';
        // What is written back is settled by the next change.
        if (decision.action != SeparatorAction::Store) {
            const char shown[2] = {decision.character, '\0'};
            EXPECT_EQ(SeparatorAction::Store, decideSeparator(shown, c.current).action);
        }
    }
    fake::resetAll();
}

TEST(SeparatorRule, ReadsNoMoreThanTwoCharacters) {
    // No terminator: a third byte read would fall outside the array.
    const char two[2] = {'a', 'b'};
    SeparatorDecision decision = decideSeparator(two, '/');
    EXPECT_EQ(SeparatorAction::CutToFirst, decision.action);
    EXPECT_EQ('a', decision.character);
}

} // namespace

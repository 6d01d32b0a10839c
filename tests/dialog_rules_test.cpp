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

// The edit's first character as the dialog hands it over (null: one the code
// page cannot hold unchanged), in each kind of code page.
TEST(SeparatorRule, KeepsOneWholeOneByteCharacter) {
    enum CodePage { OneByte, Japanese, Utf8 };
    struct Case {
        CodePage codePage;
        const char* first;
        bool more;
        char current;
        SeparatorAction action;
        char character;
    };
    const Case cases[] = {
        {OneByte, "", false, '/', SeparatorAction::Store, '\0'},
        {OneByte, "/", false, ':', SeparatorAction::Store, '/'},
        {OneByte, "-", true, '/', SeparatorAction::CutToFirst, '-'},
        {OneByte, " ", true, '/', SeparatorAction::CutToFirst, ' '},
        {OneByte, "\xE9", false, '/', SeparatorAction::Store, '\xE9'}, // "é" in 1252
        // Best-fitted ("Ł" would be "L"): the separator kept comes back.
        {OneByte, nullptr, false, '/', SeparatorAction::Restore, '/'},
        {Utf8, nullptr, true, '/', SeparatorAction::Restore, '/'},
        // Code page 932: "\x81\x46" is a full-width colon.
        {Japanese, "\x81\x46", false, '/', SeparatorAction::Restore, '/'},
        {Japanese, "\x81\x46", true, '\0', SeparatorAction::Restore, '\0'},
        {Japanese, "\x81", false, ':', SeparatorAction::Restore, ':'},
        // A lone first byte stored by hand is not put back: the edit empties.
        {Japanese, "\x81", false, '\x81', SeparatorAction::Restore, '\0'},
        {Japanese, "/", true, ':', SeparatorAction::CutToFirst, '/'},
        {Japanese, "\x5C", false, '/', SeparatorAction::Store, '\x5C'},
        // UTF-8: "é" is two bytes, "€" three; a byte of 0x80 or more is never
        // a character of its own, stored or kept.
        {Utf8, "\xC3\xA9", false, '/', SeparatorAction::Restore, '/'},
        {Utf8, "\xE2\x82\xAC", true, '-', SeparatorAction::Restore, '-'},
        {Utf8, "\xE9", false, '/', SeparatorAction::Restore, '/'},
        {Utf8, "\xEF\xBF\xBD", false, '\xE9', SeparatorAction::Restore, '\0'},
        {Utf8, ";", false, '/', SeparatorAction::Store, ';'},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        fake::platform.doubleByte = c.codePage == Japanese;
        fake::platform.utf8 = c.codePage == Utf8;
        SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ", \""
                                        << (c.first ? c.first : "(not held)") << '"');
        SeparatorDecision decision = decideSeparator(c.first, c.more, c.current);
        EXPECT_EQ(c.action, decision.action);
        EXPECT_EQ(c.character, decision.character);
        // What is written back is settled by the next change.
        if (decision.action != SeparatorAction::Store) {
            const char shown[2] = {decision.character, '\0'};
            EXPECT_EQ(SeparatorAction::Store, decideSeparator(shown, false, c.current).action);
        }
    }
    fake::resetAll();
}

} // namespace

// The decisions behind the properties dialog's edit checks, apart from the
// controls: the dialog reads the edit, asks here what to do, and carries it out.
#pragma once

#include <cstdint>

enum class ReplacementCodeAction {
    Store,            // store `value` in the field
    WriteBack255,     // put 255 into the edit; its next change stores it
    WriteBack0,       // put 0 into the edit; its next change stores it
    UndoToFieldValue, // put the field's value back into the edit
    DoNothing,        // an emptied edit: the field keeps its value
};

struct ReplacementCodeDecision {
    ReplacementCodeAction action;
    std::int32_t value; // meaningful for Store only
};

// `translated` and `reading` are what reading the edit as an unsigned number
// gave (readUnsignedLikeDialog, or the platform's own reading of a dialog
// item); `textEmpty` says whether the edit holds no character at all.
// `fieldValue` is the code currently stored. An undo is only asked for when
// that value is itself within 0..255: writing back a value the edit cannot
// read (a negative code from the parameter string) would undo again on every
// change notification, without end. Such a field is clamped instead.
ReplacementCodeDecision decideReplacementCode(bool translated, std::uint32_t reading,
                                              bool textEmpty, std::int32_t fieldValue);

// Reads a text the way the platform reads a dialog item as an unsigned
// number: a run of leading blanks (spaces) is skipped, then one or more
// decimal digits must follow up to the end of the text. Fails, with *value
// set to 0, for an empty or blank text, for any other character (a sign, a
// trailing blank, a letter after the digits) and for a number above
// 4294967295. A null text fails too.
bool readUnsignedLikeDialog(const char* text, unsigned* value);

enum class SeparatorAction {
    Store,      // store `character` ('\0' for an emptied edit)
    CutToFirst, // put `character`, the first one, back as the whole text
    Restore,    // put `character`, the separator kept, back as the whole text
};

struct SeparatorDecision {
    SeparatorAction action;
    char character;
};

// `first` is the edit's first character in the code page, terminated (empty
// for an empty edit), or null when the code page cannot hold it unchanged;
// `moreFollows` says whether the edit holds more after it. `current` is the
// separator stored now. A separator is one whole character of one byte: any
// other (two bytes of a double-byte code page, several of UTF-8, one that
// would be best-fitted) restores `current`, or an empty edit when `current`
// is itself no whole character, so that what is written back never calls for
// another correction and no stray byte is ever stored.
SeparatorDecision decideSeparator(const char* first, bool moreFollows, char current);

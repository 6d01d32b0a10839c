// Date and time stamps appended to the record line in the scratch line.
#pragma once

void DateStamp();
void TimeStamp();

// The composed text of a line leaves room for CR, LF and the terminator.
constexpr unsigned kLineTextLimit = 260;

// Appends text to the scratch line. What would take the line past
// kLineTextLimit is not appended and sets lineTooLong, so a line is never
// stored cut short and never runs past its storage.
extern bool lineTooLong;
void appendToLine(const char* text);
void appendCharToLine(char character);

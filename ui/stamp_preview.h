// Titles of the two preview group boxes: the stamp layout with letters in
// place of the digits that the real stamps write.
#pragma once

#include <cstddef>

// Room for the longest title (24 characters) with plenty to spare.
constexpr std::size_t kPreviewTitleSize = 60;

// Compose "Date Format : ..." and "Time Format : ..." from the settings
// record. A title that does not fit is cut short; nothing is written past
// `capacity`, and the title is terminated whenever `capacity` is not 0.
void composeDatePreview(char* title, std::size_t capacity);
void composeTimePreview(char* title, std::size_t capacity);

// The built-in texts of every tag the launcher and the engine look up, in
// Chinese (the game's own language) and English: what the window shows when
// data\string.txt lacks a tag or is missing, and what a new installation's
// text table starts from.
#pragma once

#include <cstddef>

struct STextDefault {
    const wchar_t* tag;
    const wchar_t* chinese;
    const wchar_t* english;
};

const STextDefault* TextDefaults(std::size_t* count);
// The built-in text of tag (null when it has none).
const STextDefault* FindTextDefault(const wchar_t* tag);

// Showing a file name in a message without letting it drive the terminal.
#pragma once

#include <cstdio>

// Writes `name` to `stream` with each control byte (below 0x20, and 0x7F) shown as "?", as ls
// does on a terminal; every other byte, UTF-8 included, as it is.
inline void putShownName(const char* name, std::FILE* stream) {
    for (const char* at = name; *at != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        std::fputc(byte < 0x20 || byte == 0x7F ? '?' : byte, stream);
    }
}

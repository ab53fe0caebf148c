// Expanding the packed document.
#include "app/embedded_document.h"

void writeEmbeddedDocument(const unsigned char* document, std::FILE* stream) {
    const unsigned char* fragmentIndex[256];
    const unsigned char* position = document;
    for (std::int32_t n = 1; n <= embeddedFragmentCount; ++n) {
        fragmentIndex[n] = position;
        while (*position != 0)
            ++position;
        ++position;  // past the fragment's 0 byte
    }
    for (; *position != 0; ++position) {
        std::fputs(reinterpret_cast<const char*>(fragmentIndex[*position]), stream);
    }
}

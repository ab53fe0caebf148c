// Writing "cv.html".
#include "app/document_file.h"

#include <cstdio>

#include "app/embedded_document.h"

std::int32_t writeDocumentFile(const char* path) {
    std::FILE* stream = std::fopen(path, "w");
    if (stream == nullptr) return 1;
    writeEmbeddedDocument(embeddedDocument, stream);
    std::fclose(stream);
    return 0;
}

// The HTML page the program carries in packed form, and its writer.
//
// Packed form: exactly 255 fragments, each a string of non-zero bytes ended by a 0 byte,
// stored back to back; then the code sequence, one byte per code (1 to 255 names that
// fragment), ended by a 0 byte. The document is the named fragments in code order.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr std::int32_t embeddedFragmentCount = 255;

// The program's own document in packed form.
extern const unsigned char embeddedDocument[];

// Expands a packed document into `stream` with one put-string per code. Write failures are
// ignored; nothing after the end mark is read. Neither opens nor closes the stream.
void writeEmbeddedDocument(const unsigned char* document, std::FILE* stream);

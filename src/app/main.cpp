// varnock srce.gif dest.wbmp widthOrZero heightOrZero: converts a GIF picture into a WBMP.
//
// Every run prints the banner and puts the embedded document in "cv.html" before it looks at
// its arguments. Exit status: 0 after a conversion or the usage text, 1 after an error message.
//
// The banner is flushed at once, so a picture written to /dev/stdout follows it whole. A write
// beyond the file size limit (ulimit -f) fails like a full disk instead of killing the run.
// The error message shows each control byte of the source's name (below 0x20, and 0x7F) as "?",
// as ls does on a terminal, so that no name can send escape sequences to it.
#include <csignal>
#include <cstdio>

#include "app/convert.h"
#include "app/document_file.h"
#include "app/messages.h"
#include "raster/gif_load.h"
#include "util/shown_name.h"

namespace {

void printConversionError(const char* source) {
    std::fputs("*** varnock ERROR \"", stderr);
    putShownName(source, stderr);
    std::fputs("\"\n\n", stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);
    silenceGdMessages();
    std::printf("%s\n", bannerText);
    std::fflush(stdout);
    if (writeDocumentFile(documentFileName) != 0) {
        std::fprintf(stderr, "*** varnock ERROR \"can't write cv.html\"\n\n");
        return 1;
    }
    if (argc != 5) {
        std::printf("%s\n\n", usageText);
        return 0;
    }
    const std::int32_t width = parseDimension(argv[3]);
    const std::int32_t height = parseDimension(argv[4]);
    if (convertFile(argv[1], argv[2], width, height) != 0) {
        printConversionError(argv[1]);
        return 1;
    }
    return 0;
}

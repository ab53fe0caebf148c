// varnock-view [--width N] image.wbmp: draws a WBMP picture in the terminal.
// varnock-view --gif out.gif image.wbmp: writes it as a black-and-white GIF instead.
// varnock-view --version: prints the version of varnock it belongs to.
//
// The picture is read with the WBMP module's own header and data readers, within the viewer's
// limits (every picture varnock writes, see view_render.h), reduced to the terminal's width when
// it is wider (--width N, else the COLUMNS variable, else the terminal's size, else 80 columns;
// never enlarged) and drawn with half blocks, white pixels light. With --gif nothing is drawn:
// the picture goes whole, pixel for pixel, to a two-colour GIF (black, white) through the GIF
// export. Exit status: 0 drawn or written (or the help text, or the version), 1 the picture cannot
// be shown or written (one line on standard error naming the file and the reason), 2 a wrong
// command line (the reason and the usage text on standard error). A write beyond the file size
// limit (ulimit -f) fails like a full disk, with its message, instead of killing the run. A file
// name or argument in a message shows each control byte as "?" (util/shown_name.h).
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mono/mono_bitmap.h"
#include "raster/gif_export.h"
#include "util/shown_name.h"
#include "view/view_render.h"

namespace {

constexpr const char* programName = "varnock-view";
constexpr std::int32_t defaultColumns = 80;
constexpr int exitRefused = 1;
constexpr int exitUsage = 2;

constexpr const char* usageText =
    "utilisation :\n"
    "\n"
    "   varnock-view  [--width N]  image.wbmp\n"
    "   varnock-view  --gif sortie.gif  image.wbmp\n"
    "\n"
    "dessine l'image WAP (WBMP) dans le terminal, deux lignes de pixels par ligne de texte,\n"
    "les pixels blancs en clair ; une image plus large que le terminal est réduite.\n"
    "\n"
    "   --width N        largeur du dessin en colonnes (par défaut : la variable COLUMNS,\n"
    "                    sinon la largeur du terminal, sinon 80) ; jamais agrandie\n"
    "   --gif FICHIER    au lieu de dessiner, écrit l'image telle quelle dans un GIF\n"
    "                    noir et blanc (lisible par tout navigateur)\n"
    "   --help           affiche ce texte\n"
    "   --version        affiche la version\n";

// What the command line asks for; `path` null when it is wrong (`problem` then says why).
struct Request {
    const char* path = nullptr;
    const char* gifPath = nullptr;  // null: draw in the terminal
    std::int32_t columns = 0;       // 0: not given
    bool help = false;
    bool version = false;
    const char* problem = nullptr;
    const char* culprit = nullptr;
};

Request parseArguments(int argc, char** argv) {
    Request request;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const char* arg = argv[index];
        const char* widthText = nullptr;
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            request.help = true;
            continue;
        }
        if (!optionsEnded && std::strcmp(arg, "--version") == 0) {
            request.version = true;
            continue;
        }
        if (!optionsEnded && std::strcmp(arg, "--width") == 0) {
            if (index + 1 >= argc) {
                request.problem = "il manque le nombre de colonnes après";
                request.culprit = arg;
                return request;
            }
            widthText = argv[++index];
        } else if (!optionsEnded && std::strncmp(arg, "--width=", 8) == 0) {
            widthText = arg + 8;
        } else if (!optionsEnded && std::strcmp(arg, "--gif") == 0) {
            if (index + 1 >= argc) {
                request.problem = "il manque le fichier GIF après";
                request.culprit = arg;
                return request;
            }
            request.gifPath = argv[++index];
            continue;
        } else if (!optionsEnded && std::strncmp(arg, "--gif=", 6) == 0) {
            request.gifPath = arg + 6;
            continue;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            request.problem = "option inconnue";
            request.culprit = arg;
            return request;
        } else if (request.path != nullptr) {
            request.problem = "une seule image à la fois, en trop :";
            request.culprit = arg;
            return request;
        } else {
            request.path = arg;
            continue;
        }
        request.columns = viewParseColumns(widthText);
        if (request.columns == 0) {
            request.problem = "largeur invalide (un nombre de colonnes, 1 ou plus) :";
            request.culprit = widthText;
            return request;
        }
    }
    if (request.path == nullptr && !request.help && !request.version) {
        request.problem = "il manque l'image WBMP";
    }
    if (request.gifPath != nullptr && request.gifPath[0] == '\0') {
        request.problem = "nom de fichier GIF vide";
    } else if (request.gifPath != nullptr && request.columns > 0) {
        request.problem = "--width règle le dessin, il ne va pas avec --gif";
    }
    return request;
}

// The width to draw in: the COLUMNS variable, else the terminal's, else 80.
std::int32_t terminalColumns() {
    const std::int32_t fromEnvironment = viewParseColumns(std::getenv("COLUMNS"));
    if (fromEnvironment > 0) return fromEnvironment;
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return defaultColumns;
}

// Colours only on a terminal that has them and for a user who did not turn them off.
bool useColour() {
    if (isatty(STDOUT_FILENO) == 0) return false;
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour != nullptr && noColour[0] != '\0') return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

int refuse(const char* path, const char* reason) {
    std::fprintf(stderr, "%s : \"", programName);
    putShownName(path, stderr);
    std::fprintf(stderr, "\" : %s\n", reason);
    return exitRefused;
}

const char* openFailure(int error) {
    if (error == ENOENT) return "fichier introuvable";
    if (error == EACCES) return "lecture non permise";
    return "ouverture impossible";
}

// Why the header was refused, from monoReadWbmpHeader's code, the sizes and the stream's state.
const char* headerFailure(std::int32_t code, std::int32_t width, std::int32_t height,
                          std::FILE* stream, char* buffer, std::size_t bufferSize) {
    if (std::ferror(stream) != 0) return "erreur de lecture";
    if (code == 1 && std::feof(stream) != 0) return "fichier vide";
    if (code == 4 || (code == 2 && std::feof(stream) != 0)) {
        return "fichier tronqué (en-tête incomplet)";
    }
    if (code == 1 || code == 2) return "ce n'est pas une image WBMP de type 0";
    if (code == 3) {
        return "en-tête invalide (largeur ou hauteur de plus de cinq octets "
               "ou au-delà de 2^31 - 1)";
    }
    if (width < 1 || height < 1) {
        std::snprintf(buffer, bufferSize, "taille invalide : %d × %d pixels", width, height);
    } else {
        std::snprintf(buffer, bufferSize,
                      "image de %d × %d pixels, trop grande (au plus %d pixels de côté et %lld "
                      "pixels en tout)",
                      width, height, viewMaxSide, static_cast<long long>(viewMaxPixels));
    }
    return buffer;
}

// Reads the picture from an open stream; on failure prints the reason and answers exitRefused.
int readOpened(const char* path, std::FILE* stream, MonoBitmap* bitmap) {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::int32_t header =
        monoReadWbmpHeader(stream, viewMaxSide, viewMaxPixels, &width, &height);
    char buffer[200];
    if (header != 0) {
        return refuse(path, headerFailure(header, width, height, stream, buffer, sizeof buffer));
    }
    const std::int32_t data = monoReadWbmpData(bitmap, stream, width, height, std::malloc);
    if (data == 1) return refuse(path, "mémoire insuffisante");
    if (data == 0) return 0;
    monoFree(bitmap, std::free);
    if (std::ferror(stream) != 0) return refuse(path, "erreur de lecture");
    return refuse(path, "fichier tronqué (données de l'image incomplètes)");
}

// Reads `path` into `bitmap`; on failure prints the reason and answers exitRefused.
int readPicture(const char* path, MonoBitmap* bitmap) {
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return refuse(path, openFailure(errno));
    struct stat info {};
    int rc = 0;
    if (fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
        rc = refuse(path, "c'est un dossier, pas une image");
    } else {
        rc = readOpened(path, stream, bitmap);
    }
    std::fclose(stream);
    return rc;
}

// Palette position of a pixel for the GIF export: 0 black, 1 white.
std::int32_t gifIndexOf(void* userData, std::int32_t x, std::int32_t y) {
    return monoGetPixel(static_cast<const MonoBitmap*>(userData), x, y);
}

int exportGif(const char* path, const char* gifPath) {
    static constexpr PaletteEntry blackAndWhite[2] = {{0, 0, 0}, {255, 255, 255}};
    MonoBitmap picture{};
    const int rc = readPicture(path, &picture);
    if (rc != 0) return rc;
    const std::int32_t saved = saveGifFromPalette(gifPath, picture.width, picture.height,
                                                  gifIndexOf, &picture, blackAndWhite, 2, 0);
    monoFree(&picture, std::free);
    if (saved == gifExportNoImage) return refuse(path, "mémoire insuffisante");
    if (saved != 0) return refuse(gifPath, "écriture du GIF impossible");
    return 0;
}

int show(const char* path, std::int32_t columns) {
    MonoBitmap picture{};
    int rc = readPicture(path, &picture);
    if (rc != 0) return rc;
    std::int32_t width = 0;
    std::int32_t height = 0;
    viewFitSize(picture.width, picture.height, columns, &width, &height);
    MonoBitmap shown{};
    const std::int32_t reduced = viewReduce(&shown, &picture, width, height, std::malloc);
    monoFree(&picture, std::free);
    if (reduced != 0) return refuse(path, "mémoire insuffisante");
    viewDraw(&shown, useColour() ? 1 : 0, stdout);
    monoFree(&shown, std::free);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        return refuse(path, "erreur d'écriture du dessin");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);
    const Request request = parseArguments(argc, argv);
    if (request.problem != nullptr) {
        if (request.culprit != nullptr) {
            std::fprintf(stderr, "%s : %s \"", programName, request.problem);
            putShownName(request.culprit, stderr);
            std::fprintf(stderr, "\"\n\n%s", usageText);
        } else {
            std::fprintf(stderr, "%s : %s\n\n%s", programName, request.problem, usageText);
        }
        return exitUsage;
    }
    if (request.help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (request.version) {
        std::printf("%s (varnock) %s\n", programName, VARNOCK_VERSION);
        return 0;
    }
    if (request.gifPath != nullptr) return exportGif(request.path, request.gifPath);
    return show(request.path, request.columns > 0 ? request.columns : terminalColumns());
}

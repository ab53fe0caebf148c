// varnock-view [--width N] image.wbmp: draws a WBMP picture in the terminal.
//
// The picture is read with the WBMP module's own reader, reduced to the terminal's width when
// it is wider (--width N, else the COLUMNS variable, else the terminal's size, else 80 columns;
// never enlarged) and drawn with half blocks, white pixels light. Nothing is written to files.
// Exit status: 0 drawn (or the help text), 1 the picture cannot be shown (one line on standard
// error naming the file and the reason), 2 a wrong command line (the reason and the usage text
// on standard error).
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mono/mono_bitmap.h"
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
    "\n"
    "dessine l'image WAP (WBMP) dans le terminal, deux lignes de pixels par ligne de texte,\n"
    "les pixels blancs en clair ; une image plus large que le terminal est réduite.\n"
    "\n"
    "   --width N        largeur du dessin en colonnes (par défaut : la variable COLUMNS,\n"
    "                    sinon la largeur du terminal, sinon 80) ; jamais agrandie\n"
    "   --help           affiche ce texte\n";

// What the command line asks for; `path` null when it is wrong (`problem` then says why).
struct Request {
    const char* path = nullptr;
    std::int32_t columns = 0;  // 0: not given
    bool help = false;
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
        if (!optionsEnded && std::strcmp(arg, "--width") == 0) {
            if (index + 1 >= argc) {
                request.problem = "il manque le nombre de colonnes après";
                request.culprit = arg;
                return request;
            }
            widthText = argv[++index];
        } else if (!optionsEnded && std::strncmp(arg, "--width=", 8) == 0) {
            widthText = arg + 8;
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
    if (request.path == nullptr && !request.help) request.problem = "il manque l'image WBMP";
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
    std::fprintf(stderr, "%s : \"%s\" : %s\n", programName, path, reason);
    return exitRefused;
}

const char* openFailure(int error) {
    if (error == ENOENT) return "fichier introuvable";
    if (error == EACCES) return "lecture non permise";
    return "ouverture impossible";
}

// Why monoReadWbmp refused the stream, from its code and the stream's state.
const char* readFailure(std::int32_t code, std::FILE* stream) {
    if (std::ferror(stream) != 0) return "erreur de lecture";
    if (code == 1 && std::feof(stream) != 0) return "fichier vide";
    if (code == 1 || code == 2) return "ce n'est pas une image WBMP de type 0";
    if (code == 3) return "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)";
    if (code == 4) return "mémoire insuffisante";
    return "fichier tronqué (données de l'image incomplètes)";
}

// Reads `path` into `bitmap`; on failure prints the reason and answers exitRefused.
int readPicture(const char* path, MonoBitmap* bitmap) {
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return refuse(path, openFailure(errno));
    struct stat info {};
    if (fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        return refuse(path, "c'est un dossier, pas une image");
    }
    const std::int32_t code = monoReadWbmp(bitmap, stream, std::malloc);
    const char* reason = code != 0 ? readFailure(code, stream) : nullptr;
    std::fclose(stream);
    if (code == 5) monoFree(bitmap, std::free);
    if (reason != nullptr) return refuse(path, reason);
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
        std::fprintf(stderr, "%s : \"%s\" : erreur d'écriture du dessin\n", programName, path);
        return exitRefused;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Request request = parseArguments(argc, argv);
    if (request.problem != nullptr) {
        if (request.culprit != nullptr) {
            std::fprintf(stderr, "%s : %s \"%s\"\n\n%s", programName, request.problem,
                         request.culprit, usageText);
        } else {
            std::fprintf(stderr, "%s : %s\n\n%s", programName, request.problem, usageText);
        }
        return exitUsage;
    }
    if (request.help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    return show(request.path, request.columns > 0 ? request.columns : terminalColumns());
}

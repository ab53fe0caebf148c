// varnock_pack_document: packs a text (the program's HTML page) into the form that
// writeEmbeddedDocument expands, and writes it as a C++ source file defining
// `embeddedDocument`, or with --binary as the raw block.
//
//   varnock_pack_document [--binary] input output
//
// The packed form is exactly 255 fragments, each a run of non-zero bytes ended by a 0 byte,
// followed by one code byte (1 to 255) per fragment written and a final 0 byte. The text must
// not contain a 0 byte: that is refused, and the build stops.
//
// Choosing the fragments: start from one fragment per distinct byte, then repeatedly merge
// the adjacent pair of fragments that saves the most bytes in the whole block (codes saved,
// minus the new fragment's table bytes, plus the table bytes of fragments that fall out of
// use), while a free slot exists. Fragments no longer used give their slot back. Then the
// text is re-parsed with the fewest codes the current set allows (dynamic programming), the
// unused fragments are dropped, and merging starts again until nothing improves. Unused
// slots, if any remain, hold empty fragments. Every step is deterministic.
//
// Before writing, the packer expands its own block and compares it with the text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t fragmentSlots = 255;

using Token = std::uint32_t;  // an index into Packer::strings

struct Packer {
    std::vector<std::string> strings;     // every fragment string seen so far
    std::map<std::string, Token> byText;  // string -> its token
    std::vector<Token> tokens;            // the text as a sequence of fragments
};

Token internString(Packer& packer, const std::string& text) {
    const auto found = packer.byText.find(text);
    if (found != packer.byText.end()) return found->second;
    const auto token = static_cast<Token>(packer.strings.size());
    packer.strings.push_back(text);
    packer.byText.emplace(text, token);
    return token;
}

std::vector<std::size_t> countUses(const Packer& packer) {
    std::vector<std::size_t> uses(packer.strings.size(), 0);
    for (const Token token : packer.tokens)
        ++uses[token];
    return uses;
}

std::size_t liveCount(const std::vector<std::size_t>& uses) {
    return static_cast<std::size_t>(
        std::count_if(uses.begin(), uses.end(), [](std::size_t n) { return n != 0; }));
}

// Block size for the current tokens: table bytes of the used fragments, codes, end mark.
std::size_t blockSize(const Packer& packer) {
    const std::vector<std::size_t> uses = countUses(packer);
    std::size_t size = packer.tokens.size() + 1;
    std::size_t live = 0;
    for (std::size_t t = 0; t < uses.size(); ++t) {
        if (uses[t] == 0) continue;
        size += packer.strings[t].size() + 1;
        ++live;
    }
    return size + (fragmentSlots - live);  // empty fragments fill the free slots
}

std::uint64_t pairKey(Token a, Token b) {
    return (std::uint64_t{a} << 32) | b;
}

// Counts adjacent pairs as a left-to-right replacement would take them: in a run a a a the
// pair (a, a) counts once, not twice.
std::unordered_map<std::uint64_t, std::size_t> countPairs(const std::vector<Token>& tokens) {
    std::unordered_map<std::uint64_t, std::size_t> pairs;
    bool previousCounted = false;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const bool sameAsPrevious =
            i > 0 && tokens[i - 1] == tokens[i] && tokens[i] == tokens[i + 1];
        if (sameAsPrevious && previousCounted) {
            previousCounted = false;
            continue;
        }
        ++pairs[pairKey(tokens[i], tokens[i + 1])];
        previousCounted = true;
    }
    return pairs;
}

struct Merge {
    long long gain = 0;
    Token first = 0;
    Token second = 0;
    std::string text;
};

bool betterMerge(const Merge& candidate, const Merge& best) {
    if (candidate.gain != best.gain) return candidate.gain > best.gain;
    return candidate.text < best.text;
}

// The merge that saves the most bytes and fits the 255 slots; gain 0 when none saves any.
Merge chooseMerge(const Packer& packer) {
    const std::vector<std::size_t> uses = countUses(packer);
    const std::size_t live = liveCount(uses);
    Merge best;
    for (const auto& [key, count] : countPairs(packer.tokens)) {
        if (count < 2) continue;
        Merge candidate;
        candidate.first = static_cast<Token>(key >> 32);
        candidate.second = static_cast<Token>(key & 0xFFFFFFFFu);
        candidate.text = packer.strings[candidate.first] + packer.strings[candidate.second];
        const auto existing = packer.byText.find(candidate.text);
        const bool isLive = existing != packer.byText.end() && uses[existing->second] != 0;
        long long gain = static_cast<long long>(count);
        std::size_t slots = live;
        if (!isLive) {
            gain -= static_cast<long long>(candidate.text.size() + 1);
            ++slots;
        }
        // Fragments whose every use disappears into the merge free their slot and bytes.
        if (candidate.first == candidate.second) {
            if (uses[candidate.first] == 2 * count) {
                gain += static_cast<long long>(packer.strings[candidate.first].size() + 1);
                --slots;
            }
        } else {
            for (const Token part : {candidate.first, candidate.second}) {
                if (uses[part] == count) {
                    gain += static_cast<long long>(packer.strings[part].size() + 1);
                    --slots;
                }
            }
        }
        if (slots > fragmentSlots || gain <= 0) continue;
        candidate.gain = gain;
        if (best.gain == 0 || betterMerge(candidate, best)) best = candidate;
    }
    return best;
}

void applyMerge(Packer& packer, const Merge& merge) {
    const Token merged = internString(packer, merge.text);
    std::vector<Token> result;
    result.reserve(packer.tokens.size());
    for (std::size_t i = 0; i < packer.tokens.size(); ++i) {
        if (i + 1 < packer.tokens.size() && packer.tokens[i] == merge.first &&
            packer.tokens[i + 1] == merge.second) {
            result.push_back(merged);
            ++i;
        } else {
            result.push_back(packer.tokens[i]);
        }
    }
    packer.tokens.swap(result);
}

void mergeWhileProfitable(Packer& packer) {
    for (;;) {
        const Merge merge = chooseMerge(packer);
        if (merge.gain <= 0) return;
        applyMerge(packer, merge);
    }
}

// Re-parses the text with the fewest codes that the fragments in use allow.
void reparse(Packer& packer, const std::string& text) {
    const std::vector<std::size_t> uses = countUses(packer);
    std::vector<Token> live;
    for (Token t = 0; t < uses.size(); ++t) {
        if (uses[t] != 0) live.push_back(t);
    }
    const std::size_t length = text.size();
    const std::size_t unreachable = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> cost(length + 1, unreachable);
    std::vector<Token> choice(length + 1, 0);
    cost[length] = 0;
    for (std::size_t at = length; at-- > 0;) {
        for (const Token t : live) {
            const std::string& piece = packer.strings[t];
            if (piece.size() > length - at || cost[at + piece.size()] == unreachable) continue;
            if (text.compare(at, piece.size(), piece) != 0) continue;
            const std::size_t total = cost[at + piece.size()] + 1;
            if (total < cost[at] || (total == cost[at] && t < choice[at])) {
                cost[at] = total;
                choice[at] = t;
            }
        }
    }
    std::vector<Token> tokens;
    for (std::size_t at = 0; at < length; at += packer.strings[choice[at]].size()) {
        tokens.push_back(choice[at]);
    }
    packer.tokens.swap(tokens);
}

std::vector<std::uint8_t> buildBlock(const Packer& packer) {
    const std::vector<std::size_t> uses = countUses(packer);
    std::vector<Token> order;
    for (Token t = 0; t < uses.size(); ++t) {
        if (uses[t] != 0) order.push_back(t);
    }
    // Most used first, then by bytes, so the numbering does not depend on merge history.
    std::sort(order.begin(), order.end(), [&](Token a, Token b) {
        if (uses[a] != uses[b]) return uses[a] > uses[b];
        return packer.strings[a] < packer.strings[b];
    });
    std::vector<std::uint8_t> codeOf(packer.strings.size(), 0);
    std::vector<std::uint8_t> block;
    for (std::size_t slot = 0; slot < fragmentSlots; ++slot) {
        if (slot < order.size()) {
            const std::string& piece = packer.strings[order[slot]];
            block.insert(block.end(), piece.begin(), piece.end());
            codeOf[order[slot]] = static_cast<std::uint8_t>(slot + 1);
        }
        block.push_back(0);
    }
    for (const Token t : packer.tokens)
        block.push_back(codeOf[t]);
    block.push_back(0);
    return block;
}

// The packed block expanded the way the program does it.
std::string expandBlock(const std::vector<std::uint8_t>& block) {
    std::vector<std::size_t> start(fragmentSlots + 1, 0);
    std::size_t at = 0;
    for (std::size_t n = 1; n <= fragmentSlots; ++n) {
        start[n] = at;
        while (block.at(at) != 0)
            ++at;
        ++at;
    }
    std::string text;
    for (; block.at(at) != 0; ++at) {
        for (std::size_t f = start[block[at]]; block.at(f) != 0; ++f) {
            text.push_back(static_cast<char>(block[f]));
        }
    }
    return text;
}

std::string cppSource(const std::vector<std::uint8_t>& block, std::size_t textSize,
                      std::size_t codeCount) {
    std::string out;
    out += "// Generated at build time by varnock_pack_document; do not edit.\n";
    out += "// Text " + std::to_string(textSize) + " bytes; " + std::to_string(codeCount) +
           " codes; block " + std::to_string(block.size()) + " bytes.\n";
    out += "#include \"app/embedded_document.h\"\n\n";
    out += "const unsigned char embeddedDocument[] = {\n";
    std::string line = "   ";
    for (const std::uint8_t byte : block) {
        std::string item(1, ' ');  // built by appends: GCC 12 -O3 warns falsely on " " + string
        item += std::to_string(byte);
        item += ',';
        if (line.size() + item.size() > 100) {
            out += line + "\n";
            line = "   ";
        }
        line += item;
    }
    out += line + "\n};\n";
    return out;
}

bool readWhole(const char* path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes beside the output and renames, so a failed run leaves no half-written output.
bool writeWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool binary = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--binary") == 0) {
        binary = true;
        first = 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: varnock_pack_document [--binary] input output\n");
        return 2;
    }
    const char* inputPath = argv[first];
    const char* outputPath = argv[first + 1];
    std::string text;
    if (!readWhole(inputPath, &text)) {
        std::fprintf(stderr, "varnock_pack_document: cannot read %s\n", inputPath);
        return 1;
    }
    const std::size_t zeroAt = text.find('\0');
    if (zeroAt != std::string::npos) {
        std::fprintf(stderr, "varnock_pack_document: %s has a 0 byte at offset %zu\n", inputPath,
                     zeroAt);
        return 1;
    }

    Packer packer;
    for (const char byte : text)
        packer.tokens.push_back(internString(packer, std::string(1, byte)));
    mergeWhileProfitable(packer);
    for (std::size_t previous = blockSize(packer);;) {
        reparse(packer, text);
        mergeWhileProfitable(packer);
        const std::size_t now = blockSize(packer);
        if (now >= previous) break;
        previous = now;
    }

    const std::vector<std::uint8_t> block = buildBlock(packer);
    if (expandBlock(block) != text) {
        std::fprintf(stderr, "varnock_pack_document: packed block does not expand to %s\n",
                     inputPath);
        return 1;
    }
    const std::string output = binary ? std::string(block.begin(), block.end())
                                      : cppSource(block, text.size(), packer.tokens.size());
    if (!writeWhole(outputPath, output)) {
        std::fprintf(stderr, "varnock_pack_document: cannot write %s\n", outputPath);
        return 1;
    }
    std::printf("varnock_pack_document: %s: %zu bytes -> %zu codes, block %zu bytes\n", inputPath,
                text.size(), packer.tokens.size(), block.size());
    return 0;
}

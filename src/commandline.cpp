#include "commandline.h"

#include "output.h"

#include <cstring>
#include <iomanip>
#include <iostream>

namespace CommandLine {

namespace {

struct Description
{
    LongOption code;
    const char *name;
    const char *argument; // null for an option without an argument
    int min, max;         // for an argument that is a number
};

const Description descriptions[] = {
    { Map, "map", "FILE", 0, 0 },
    { Unique, "unique", nullptr, 0, 0 },
    { Flips, "flips", nullptr, 0, 0 },
    { TileBase, "tile-base", "N", 0, 1023 },
    { PaletteBase, "palette-base", "N", 0, 15 },
    { PaletteCount, "palettes", "N", 1, 16 },
    { Each, "each", "LIST", 0, 0 },
    { Quiet, "quiet", nullptr, 0, 0 },
    { Help, "help", nullptr, 0, 0 },
    { Version, "version", nullptr, 0, 0 },
};

const Description &describe(LongOption code)
{
    for (const Description &description : descriptions) {
        if (description.code == code)
            return description;
    }
    return descriptions[0];
}

// Words before the end of the options, as the parser would scan them without reordering.
template <typename Visit>
void forOptionWords(int argc, char **argv, Visit visit)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0')
            visit(argv[i]);
    }
}

} // namespace

std::vector<option> longOptions(std::initializer_list<std::pair<LongOption, const char *>> options)
{
    std::vector<option> table;
    for (const auto &[code, help] : options) {
        const Description &description = describe(code);
        table.push_back({ description.name, description.argument ? required_argument : no_argument,
                          nullptr, code });
    }
    table.push_back({ nullptr, 0, nullptr, 0 });
    return table;
}

void printLongOptions(std::initializer_list<std::pair<LongOption, const char *>> options)
{
    std::cout << std::endl << "Long options:" << std::endl;
    for (const auto &[code, help] : options) {
        const Description &description = describe(code);
        const std::string form = std::string("--") + description.name
                + (description.argument ? std::string(" ") + description.argument : std::string());
        std::cout << "       " << std::left << std::setw(19) << form << help << std::endl;
    }
}

void printVersion(const char *tool)
{
    std::cout << tool << " " << KESTRINE_VERSION << std::endl;
}

int answer(int code, const char *tool, const char *programName, void (*printUsage)(const char *),
           std::initializer_list<std::pair<LongOption, const char *>> options)
{
    if (code == Version) {
        printVersion(tool);
        return Success;
    }
    printUsage(programName);
    if (code != Help)
        return BadCommandLine;
    printLongOptions(options);
    return Success;
}

void reason(const char *tool, const std::string &why)
{
    std::cerr << tool << ": " << why << std::endl;
}

bool number(const char *word, int min, int max, int &value)
{
    if (*word == '\0')
        return false;
    long long parsed = 0;
    for (const char *c = word; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        parsed = parsed * 10 + (*c - '0');
        if (parsed > max)
            return false;
    }
    if (parsed < min)
        return false;
    value = int(parsed);
    return true;
}

bool numberOption(const char *tool, LongOption code, const char *word, int &value)
{
    const Description &description = describe(code);
    if (number(word, description.min, description.max, value))
        return true;
    reason(tool, std::string("--") + description.name + " takes a number from "
                   + std::to_string(description.min) + " to " + std::to_string(description.max)
                   + ", not '" + word + "'");
    return false;
}

bool hasLongOption(int argc, char **argv)
{
    bool found = false;
    forOptionWords(argc, argv, [&](const char *word) { found |= word[1] == '-'; });
    return found;
}

bool asksForUsage(int argc, char **argv)
{
    bool asks = false;
    forOptionWords(argc, argv, [&](const char *word) {
        asks |= word[1] != '-' && std::strpbrk(word + 1, "h?") != nullptr;
    });
    return asks;
}

QuietConsole::QuietConsole(bool quiet) : kept(quiet ? std::cout.rdbuf(nullptr) : nullptr) { }

QuietConsole::~QuietConsole()
{
    if (kept)
        std::cout.rdbuf(kept); // also clears the failure that writing into no buffer left
}

} // namespace CommandLine

#include "batch.h"
#include "commandline.h"
#include "kestrine.h"
#include "output.h"
#include "picture.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

const char *const Tool = "kestrine";

using namespace CommandLine;
// The long options, with what --help says of them.
const std::initializer_list<std::pair<LongOption, const char *>> longOptionHelp = {
    { Map, "also write a tile map: one 16-bit entry a cell" },
    { Unique, "write each distinct tile once; the map refers to them" },
    { Flips, "as --unique, and find tiles mirrored left-right or top-bottom" },
    { TileBase, "the map's tile numbers start at N (0 to 1023)" },
    { PaletteBase, "the palette number in the map's entries (0 to 15)" },
    { PaletteCount, "any picture: up to N palettes (1 to 16) built from its colours" },
    { Each, "one conversion for each line of LIST (- for standard input)" },
    { Quiet, "no progress lines and no \"Done ...\"" },
    { Help, "this text, with the long options" },
    { Version, "the version" },
};

// A command line taken apart: the options and the three names.
struct Request
{
    TileMode mode = NoMode;
    bool rotate = false;
    bool quiet = false;
    ConvertOptions options;
    const char *mapWord = nullptr;
    const char *eachWord = nullptr;
    bool otherOptions = false; // an option besides --quiet and --each
    const char *inputWord = nullptr;
    const char *pictureWord = nullptr;
    const char *paletteWord = nullptr;
};

// How a parsed command line goes on: a status to end with at once, Convert or RunList.
constexpr int Convert = 1;
constexpr int RunList = 2;

} // namespace

void printUsage(const char *programName)
{
    std::cout << "Usage: " << programName << " -[l4rph?] inputPicture outputPicture outputPalette"
              << std::endl;
    std::cout << std::endl;
    std::cout << "       -l  = linear" << std::endl;
    std::cout << "       -p  = planar" << std::endl;
    std::cout << "       -pr = planar (rotated)" << std::endl;
    std::cout << "       -4  = 4 color mode (use only the first 4 colors of a 16 color picture)"
              << std::endl;
    std::cout << "       -4r = 4 color mode (rotated)" << std::endl;
    std::cout << "       -h or -? = this" << std::endl;
}

namespace {

// The reason line, then the usage text: the answer to a command line that cannot run.
int refuse(const char *programName, const std::string &why)
{
    reason(Tool, why);
    printUsage(programName);
    return BadCommandLine;
}

// What is missing from a line with a mode and names words short of the usage's form.
int refuseShortLine(const char *programName, bool hasMode, int names)
{
    if (!hasMode)
        return refuse(programName, "no mode letter, one of -l, -p or -4 is needed");
    return refuse(programName, "3 names are needed (inputPicture outputPicture outputPalette), "
                          + std::to_string(names) + " given");
}

int parse(int argc, char **argv, Request &request)
{
    // A line shorter than the usage's form is answered without the parser, so that a bad letter
    // draws no diagnostic; unless it holds a long option, which only the parser can tell.
    if (argc <= 4 && !hasLongOption(argc, argv)) {
        if (asksForUsage(argc, argv)) {
            printUsage(argv[0]);
            return BadCommandLine;
        }
        bool hasMode = false, endOfOptions = false;
        int names = 0;
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            if (!endOfOptions && word == "--")
                endOfOptions = true;
            else if (!endOfOptions && word.size() > 1 && word[0] == '-')
                hasMode |= word.find_first_of("lp4") != std::string::npos;
            else
                ++names;
        }
        return refuseShortLine(argv[0], hasMode, names);
    }

    const std::vector<option> options = longOptions(longOptionHelp);
    optind = 0; // a fresh parse: the parser keeps state between calls
    opterr = 1;
    for (int code; (code = getopt_long(argc, argv, "l4rph?:", options.data(), nullptr)) != -1;) {
        request.otherOptions |= code != Quiet && code != Each;
        if (modeOfLetter(code) != NoMode) {
            request.mode = modeOfLetter(code);
        } else if (code == 'r') {
            request.rotate = true;
        } else if (code == Quiet) {
            request.quiet = true;
        } else if (code == Map) {
            request.mapWord = optarg;
        } else if (code == Each) {
            request.eachWord = optarg;
        } else if (code == Unique) {
            request.options.unique = true;
        } else if (code == Flips) {
            request.options.flips = true;
        } else if (code == TileBase || code == PaletteBase || code == PaletteCount) {
            int &value = code == TileBase  ? request.options.tileBase
                    : code == PaletteBase ? request.options.paletteBase
                                          : request.options.palettes;
            if (!numberOption(Tool, LongOption(code), optarg, value)) {
                printUsage(argv[0]);
                return BadCommandLine;
            }
        } else {
            return answer(code, Tool, argv[0], printUsage, longOptionHelp);
        }
    }
    if (request.eachWord) {
        if (request.otherOptions || optind < argc)
            return refuse(argv[0], "--each takes no other option but --quiet, and no names: they stand in the list");
        return RunList;
    }
    // The parser has moved every option word (and a "--") in front of the names.
    if (request.mode == NoMode || argc - optind < 3)
        return refuseShortLine(argv[0], request.mode != NoMode, argc - optind);
    if (request.options.palettes > 1 && !request.mapWord)
        return refuse(argv[0], "--palettes " + std::to_string(request.options.palettes)
                               + " needs --map: without a map the tile data cannot say which palette a tile uses");
    request.inputWord = argv[optind];
    request.pictureWord = argv[optind + 1];
    request.paletteWord = argv[optind + 2];
    return Convert;
}

// Opens an output, or says that it cannot be opened.
std::unique_ptr<QFileDevice> openNamedOutput(const char *what, const char *word)
{
    std::unique_ptr<QFileDevice> file = openOutput(QFile::decodeName(word));
    if (!file)
        std::cerr << "Cant open outputFile (" << what << ") '" << word << "'!" << std::endl;
    return file;
}

// Converts as a parsed command line asks; list, when the line came from one, counts as an input.
int convert(Request request, const RunFile *list = nullptr)
{
    const QString inputName = QFile::decodeName(request.inputWord);
    std::vector<RunFile> files = {
        { "inputFile (Picture)", request.inputWord, pictureFileName(inputName), false },
        { "outputFile (Picture)", request.pictureWord, QFile::decodeName(request.pictureWord), true },
        { "outputFile (Palette)", request.paletteWord, QFile::decodeName(request.paletteWord), true },
    };
    if (request.mapWord)
        files.push_back({ "outputFile (Map)", request.mapWord, QFile::decodeName(request.mapWord), true });
    if (list)
        files.insert(files.begin() + 1, *list);
    if (!distinctFiles(files))
        return CantOpen;

    QImage image = loadPicture(inputName);

    const std::unique_ptr<QFileDevice> pictureFile = openNamedOutput("Picture", request.pictureWord);
    if (!pictureFile)
        return CantOpen;
    const std::unique_ptr<QFileDevice> paletteFile = openNamedOutput("Palette", request.paletteWord);
    if (!paletteFile)
        return CantOpen;
    std::unique_ptr<QFileDevice> mapFile;
    if (request.mapWord && !(mapFile = openNamedOutput("Map", request.mapWord)))
        return CantOpen;

    QDataStream paletteStream(paletteFile.get());
    QDataStream pictureStream(pictureFile.get());
    QDataStream mapStream(mapFile.get());
    paletteStream.setByteOrder(QDataStream::LittleEndian);
    pictureStream.setByteOrder(QDataStream::LittleEndian);
    mapStream.setByteOrder(QDataStream::LittleEndian);
    if (mapFile)
        request.options.mapStream = &mapStream;

    Kestrine kestrine(&image, &paletteStream, &pictureStream, request.mode, request.rotate,
                      request.options);
    // Every output complete before any is put in place; the palette first and the tile data
    // after it, so that the window between the replacements stays minimal.
    const bool done = kestrine.readImage()
            && written(kestrine.convertColors(), paletteStream, *paletteFile, "Palette",
                       request.paletteWord)
            && written(kestrine.convertImage(), pictureStream, *pictureFile, "Picture",
                       request.pictureWord)
            && (!mapFile || written(kestrine.convertMap(), mapStream, *mapFile, "Map", request.mapWord))
            && putInPlace(*paletteFile, "Palette", request.paletteWord)
            && putInPlace(*pictureFile, "Picture", request.pictureWord)
            && (!mapFile || putInPlace(*mapFile, "Map", request.mapWord));
    if (!done)
        return Failed;
    std::cout << "Done ..." << std::endl;
    return Success;
}

// Runs every line of a list as its own command line, in this process; the list is read whole first.
int runList(const char *programName, const char *listWord, bool quiet)
{
    const bool standardInput = std::strcmp(listWord, "-") == 0;
    const RunFile listFile = { "inputFile (List)", listWord, QFile::decodeName(listWord), false };
    QFile list(listFile.name);
    const bool opened = standardInput ? list.open(stdin, QIODevice::ReadOnly) : list.open(QIODevice::ReadOnly);
    const std::vector<Batch::Line> lines = opened ? Batch::readLines(list) : std::vector<Batch::Line>();
    if (!opened || list.error() != QFileDevice::NoError) {
        std::cerr << "Cant open inputFile (List) '" << listWord << "'!" << std::endl;
        return CantOpen;
    }
    return Batch::runLines(lines, Tool, listWord, quiet, [&](const Batch::Line &line) {
        if (!line.why.empty())
            return refuse(programName, "line " + std::to_string(line.number) + " of '" + listWord + "': " + line.why);
        std::vector<QByteArray> words = { programName };
        words.insert(words.end(), line.words.begin(), line.words.end());
        std::vector<char *> argv;
        for (QByteArray &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        Request request;
        const int status = parse(int(words.size()), argv.data(), request);
        if (status == RunList)
            return refuse(programName, "--each cannot stand in a list");
        if (status != Convert)
            return status;
        const QuietConsole quietConsole(quiet || request.quiet);
        return convert(request, standardInput ? nullptr : &listFile);
    });
}

} // namespace

int main(int argc, char **argv)
{
    setUpOutputTool();
    Request request;
    const int status = parse(argc, argv, request);
    if (status == RunList)
        return runList(argv[0], request.eachWord, request.quiet);
    if (status != Convert)
        return status;
    const QuietConsole quiet(request.quiet);
    return convert(request);
}

#include "commandline.h"
#include "drawing.h"
#include "layout.h"
#include "output.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <iostream>
#include <memory>
#include <string>

constexpr int DefaultTilesAcross = 16;
constexpr int MaxTilesAcross = 65535;

void printUsage(const char *programName)
{
    std::cout << "Usage: " << programName
              << " -[l4prh?] [-w tilesAcross] tileData palette outputPicture" << std::endl;
    std::cout << std::endl;
    std::cout << "       -l  = linear" << std::endl;
    std::cout << "       -p  = planar" << std::endl;
    std::cout << "       -pr = planar (rotated)" << std::endl;
    std::cout << "       -4  = 4 color mode" << std::endl;
    std::cout << "       -4r = 4 color mode (rotated)" << std::endl;
    std::cout << "       -w  = tiles in a row of the picture, 1 to " << MaxTilesAcross
              << " (default " << DefaultTilesAcross << ")" << std::endl;
    std::cout << "       -h or -? = this" << std::endl;
}

// The whole contents of an input file; false when it cannot be opened or read.
static bool readInput(const char *name, QByteArray &contents)
{
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    contents = file.readAll();
    return file.error() == QFileDevice::NoError;
}

namespace {

const char *const Tool = "kestrine-view";

using namespace CommandLine;
// The long options, with what --help says of them.
const std::initializer_list<std::pair<LongOption, const char *>> longOptionHelp = {
    { Map, "draw the picture that a tile map describes, -w cells across" },
    { TileBase, "the map's first tile number is the tile data's first tile" },
    { PaletteBase, "the map's palette N is the palette file's first" },
    { Quiet, "no progress lines and no \"Done ...\"" },
    { Help, "this text, with the long options" },
    { Version, "the version" },
};

// The reason line, then the usage text: the answer to a command line that cannot run.
int refuse(const char *programName, const std::string &why)
{
    reason(Tool, why);
    printUsage(programName);
    return BadCommandLine;
}

} // namespace

int main(int argc, char **argv)
{
    setUpOutputTool();

    TileMode mode = NoMode;
    bool rotate = false;
    bool quiet = false;
    MapNumbers numbers;
    numbers.cellsAcross = DefaultTilesAcross;
    const char *mapWord = nullptr;
    const std::vector<option> options = longOptions(longOptionHelp);
    for (int code; (code = getopt_long(argc, argv, "l4prw:h?", options.data(), nullptr)) != -1;) {
        if (modeOfLetter(code) != NoMode) {
            mode = modeOfLetter(code);
        } else if (code == 'r') {
            rotate = true;
        } else if (code == 'w') {
            if (!number(optarg, 1, MaxTilesAcross, numbers.cellsAcross))
                return refuse(argv[0], "-w takes a number of tiles from 1 to "
                                      + std::to_string(MaxTilesAcross) + ", not '" + optarg + "'");
        } else if (code == Quiet) {
            quiet = true;
        } else if (code == Map) {
            mapWord = optarg;
        } else if (code == TileBase || code == PaletteBase) {
            if (!numberOption(Tool, LongOption(code), optarg,
                              code == TileBase ? numbers.tileBase : numbers.paletteBase)) {
                printUsage(argv[0]);
                return BadCommandLine;
            }
        } else {
            return answer(code, Tool, argv[0], printUsage, longOptionHelp);
        }
    }
    // The parser has moved every option word (and a "--") in front of the names.
    if (mode == NoMode)
        return refuse(argv[0], "no mode letter, one of -l, -p or -4 is needed");
    if (argc - optind < 3)
        return refuse(argv[0], "3 names are needed (tileData palette outputPicture), "
                              + std::to_string(argc - optind) + " given");
    const char *tilesWord = argv[optind];
    const char *paletteWord = argv[optind + 1];
    const char *pictureWord = argv[optind + 2];
    std::vector<RunFile> files = {
        { "inputFile (Tiles)", tilesWord, QFile::decodeName(tilesWord), false },
        { "inputFile (Palette)", paletteWord, QFile::decodeName(paletteWord), false },
    };
    if (mapWord)
        files.push_back({ "inputFile (Map)", mapWord, QFile::decodeName(mapWord), false });
    files.push_back({ "outputFile (Picture)", pictureWord, QFile::decodeName(pictureWord), true });
    if (!distinctFiles(files))
        return CantOpen;
    const QuietConsole quietConsole(quiet);

    QByteArray tiles, palette, map;
    if (!readInput(tilesWord, tiles)) {
        std::cerr << "Cant open inputFile (Tiles) '" << tilesWord << "'!" << std::endl;
        return CantOpen;
    }
    if (!readInput(paletteWord, palette)) {
        std::cerr << "Cant open inputFile (Palette) '" << paletteWord << "'!" << std::endl;
        return CantOpen;
    }
    if (mapWord && !readInput(mapWord, map)) {
        std::cerr << "Cant open inputFile (Map) '" << mapWord << "'!" << std::endl;
        return CantOpen;
    }
    const std::unique_ptr<QFileDevice> pictureFile = openOutput(QFile::decodeName(pictureWord));
    if (!pictureFile) {
        std::cerr << "Cant open outputFile (Picture) '" << pictureWord << "'!" << std::endl;
        return CantOpen;
    }

    PaletteColors palettes;
    QImage picture;
    Flaw flaw;
    const bool drawn = readPalettes(palette, mode, mapWord, palettes, flaw)
            && (mapWord ? drawMap(tiles, map, mode, rotate, numbers, palettes, picture, flaw)
                        : drawTiles(tiles, mode, rotate, numbers.cellsAcross, palettes, picture, flaw));
    if (!drawn) {
        const std::string input = flaw.input;
        const char *word = input == "palette" ? paletteWord : input == "map" ? mapWord : tilesWord;
        std::cerr << "kestrine-view: " << input << " '" << word << "' " << flaw.what << "!" << std::endl;
        return Failed;
    }
    const bool done = (picture.save(pictureFile.get(), "PNG") || cantWrite("Picture", pictureWord))
            && written(true, *pictureFile, "Picture", pictureWord)
            && putInPlace(*pictureFile, "Picture", pictureWord);
    if (!done)
        return Failed;
    std::cout << "Done ..." << std::endl;
    return Success;
}

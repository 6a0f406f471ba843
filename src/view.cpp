#include "commandline.h"
#include "layout.h"
#include "output.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

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

// One line on stderr naming the file and what is wrong with it; always false.
static bool reject(const char *what, const char *name, const std::string &reason)
{
    std::cerr << "kestrine-view: " << what << " '" << name << "' " << reason << "!" << std::endl;
    return false;
}

// The colours of a palette file, each word widened to 8 bits a channel; false after the reason.
static bool readPalette(const QByteArray &bytes, TileMode mode, const char *name,
                        QList<QRgb> &colors)
{
    const qsizetype size = bytes.size();
    const std::string has = "has " + std::to_string(size) + " bytes, ";
    if (mode == FourColor && size != 8)
        return reject("palette", name, has + "not the 8 of 4 colors that the 4 color mode needs");
    if (size != 8 && size != 32)
        return reject("palette", name, has + "not 8 (4 colors) or 32 (16 colors)");
    std::cout << "Read Colors (" << size / 2 << ")..." << std::endl;
    for (qsizetype i = 0; i < size / 2; ++i) {
        const quint16 word = quint16(uchar(bytes[2 * i]) | uchar(bytes[2 * i + 1]) << 8);
        if (word >= 0x1000) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%04X", word);
            return reject("palette", name,
                          "has " + std::string(hex) + " for color " + std::to_string(i)
                                  + ", not a 12-bit word below 0x1000");
        }
        colors << Layout::paletteColor(word);
    }
    return true;
}

// Draws the tiles into picture, slot by slot from the top left; the turn, if any, is undone.
// False after the reason when a pixel index lies beyond the colour table.
static bool drawTiles(const QByteArray &tiles, TileMode mode, bool rotate, const char *name,
                      QImage &picture)
{
    const int rowBytes = Layout::rowBytes(mode);
    const int tilesAcross = picture.width() / Layout::TileSize;
    const qsizetype count = tiles.size() / Layout::tileBytes(mode);
    const uint colorCount = uint(picture.colorCount());
    for (qsizetype tile = 0; tile < count; ++tile) {
        const int left = int(tile % tilesAcross) * Layout::TileSize;
        const int top = int(tile / tilesAcross) * Layout::TileSize;
        for (int y = 0; y < Layout::TileSize; ++y) {
            uchar record[4] = {};
            const qsizetype offset = tile * Layout::tileBytes(mode) + y * rowBytes;
            std::copy_n(tiles.constData() + offset, rowBytes, record);
            uint p[Layout::TileSize];
            Layout::decodeRow(mode, record, p);
            for (int x = 0; x < Layout::TileSize; ++x) {
                if (p[x] >= colorCount)
                    return reject("tileData", name,
                                  "has index " + std::to_string(p[x]) + " in tile "
                                          + std::to_string(tile) + ", beyond the "
                                          + std::to_string(colorCount) + " colors of the palette");
                int sx, sy;
                Layout::sourcePixel(rotate, x, y, sx, sy);
                picture.scanLine(top + sy)[left + sx] = uchar(p[x]);
            }
        }
    }
    return true;
}

namespace {

const char *const Tool = "kestrine-view";

using namespace CommandLine;
const std::initializer_list<LongOption> longOptionCodes = { Quiet, Help, Version };

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
    int tilesAcross = DefaultTilesAcross;
    const std::vector<option> options = longOptions(longOptionCodes);
    for (int code; (code = getopt_long(argc, argv, "l4prw:h?", options.data(), nullptr)) != -1;) {
        if (modeOfLetter(code) != NoMode) {
            mode = modeOfLetter(code);
        } else if (code == 'r') {
            rotate = true;
        } else if (code == 'w') {
            if (!number(optarg, 1, MaxTilesAcross, tilesAcross))
                return refuse(argv[0], "-w takes a number of tiles from 1 to "
                                      + std::to_string(MaxTilesAcross) + ", not '" + optarg + "'");
        } else if (code == Quiet) {
            quiet = true;
        } else if (code == Help) {
            printUsage(argv[0]);
            printLongOptions(longOptionCodes);
            return Success;
        } else if (code == Version) {
            printVersion(Tool);
            return Success;
        } else {
            // -h, -? or a word the parser refused, with its own diagnostic.
            printUsage(argv[0]);
            return BadCommandLine;
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
    if (!distinctFiles({ { "inputFile (Tiles)", tilesWord, QFile::decodeName(tilesWord), false },
                         { "inputFile (Palette)", paletteWord, QFile::decodeName(paletteWord), false },
                         { "outputFile (Picture)", pictureWord, QFile::decodeName(pictureWord), true } }))
        return CantOpen;
    const QuietConsole quietConsole(quiet);

    QByteArray tiles, palette;
    if (!readInput(tilesWord, tiles)) {
        std::cerr << "Cant open inputFile (Tiles) '" << tilesWord << "'!" << std::endl;
        return CantOpen;
    }
    if (!readInput(paletteWord, palette)) {
        std::cerr << "Cant open inputFile (Palette) '" << paletteWord << "'!" << std::endl;
        return CantOpen;
    }
    const std::unique_ptr<QFileDevice> pictureFile = openOutput(QFile::decodeName(pictureWord));
    if (!pictureFile) {
        std::cerr << "Cant open outputFile (Picture) '" << pictureWord << "'!" << std::endl;
        return CantOpen;
    }

    QList<QRgb> colors;
    if (!readPalette(palette, mode, paletteWord, colors))
        return Failed;

    const int tileBytes = Layout::tileBytes(mode);
    if (tiles.isEmpty() || tiles.size() % tileBytes != 0) {
        reject("tileData", tilesWord,
               "has " + std::to_string(tiles.size()) + " bytes, not a non-zero multiple of "
                       + std::to_string(tileBytes));
        return Failed;
    }
    const qsizetype count = tiles.size() / tileBytes;
    const qsizetype across = std::min<qsizetype>(tilesAcross, count);
    const qsizetype down = (count + across - 1) / across;
    std::cout << "Draw Image (" << count << " Tiles in " << across << "x" << down << " Slots with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;

    QImage picture;
    if (down <= INT_MAX / Layout::TileSize)
        picture = QImage(int(across) * Layout::TileSize, int(down) * Layout::TileSize,
                         QImage::Format_Indexed8);
    if (picture.isNull()) {
        reject("tileData", tilesWord,
               "has " + std::to_string(count) + " tiles, too many for one picture");
        return Failed;
    }
    picture.setColorTable(colors);
    picture.fill(0);
    const bool done = drawTiles(tiles, mode, rotate, tilesWord, picture)
            && (picture.save(pictureFile.get(), "PNG") || cantWrite("Picture", pictureWord))
            && written(true, *pictureFile, "Picture", pictureWord)
            && putInPlace(*pictureFile, "Picture", pictureWord);
    if (!done)
        return Failed;
    std::cout << "Done ..." << std::endl;
    return Success;
}

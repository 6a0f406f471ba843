#include "drawing.h"

#include "tileset.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>

namespace {

bool flawed(Flaw &flaw, const char *input, const std::string &what)
{
    flaw = { input, what };
    return false;
}

std::string has(qsizetype bytes) { return "has " + std::to_string(bytes) + " bytes, "; }

// A new picture of cellsAcross by cellsDown tiles in the palettes' colours, every index 0.
bool makePicture(qsizetype cellsAcross, qsizetype cellsDown, const PaletteColors &palettes,
                 QImage &picture, Flaw &flaw, const char *input, qsizetype count, const char *what)
{
    if (cellsDown <= INT_MAX / Layout::TileSize && cellsAcross <= INT_MAX / Layout::TileSize)
        picture = QImage(int(cellsAcross) * Layout::TileSize, int(cellsDown) * Layout::TileSize,
                         QImage::Format_Indexed8);
    if (picture.isNull())
        return flawed(flaw, input, "has " + std::to_string(count) + " " + what + ", too many for one picture");
    picture.setColorTable(palettes.colors);
    picture.fill(0);
    return true;
}

// Tile data must be whole tiles, at least one.
bool wholeTiles(const QByteArray &tiles, TileMode mode, Flaw &flaw)
{
    const int tileBytes = Layout::tileBytes(mode);
    if (tiles.isEmpty() || tiles.size() % tileBytes != 0)
        return flawed(flaw, "tileData", has(tiles.size()) + "not a non-zero multiple of " + std::to_string(tileBytes));
    return true;
}

// Draws one tile, mirrored as asked, into the cell whose top-left pixel is (left, top), its
// indexes from first on; the turn is undone. False when an index lies beyond the palette.
bool drawTile(const QByteArray &tiles, qsizetype tile, TileMode mode, bool rotate, bool mirrorX,
              bool mirrorY, int left, int top, int first, int paletteSize, QImage &picture, Flaw &flaw)
{
    const int rowBytes = Layout::rowBytes(mode);
    uchar record[Layout::tileBytes(Linear)];
    Layout::mirrorTile(mode, reinterpret_cast<const uchar *>(tiles.constData()) + tile * Layout::tileBytes(mode),
                       mirrorX, mirrorY, record);
    for (int y = 0; y < Layout::TileSize; ++y) {
        uchar row[4] = {};
        std::copy_n(record + y * rowBytes, rowBytes, row);
        uint p[Layout::TileSize];
        Layout::decodeRow(mode, row, p);
        for (int x = 0; x < Layout::TileSize; ++x) {
            if (p[x] >= uint(paletteSize))
                return flawed(flaw, "tileData", "has index " + std::to_string(p[x]) + " in tile " + std::to_string(tile)
                                      + ", beyond the " + std::to_string(paletteSize) + " colors of the palette");
            int sx, sy;
            Layout::sourcePixel(rotate, x, y, sx, sy);
            picture.scanLine(top + sy)[left + sx] = uchar(first + int(p[x]));
        }
    }
    return true;
}

} // namespace

bool readPalettes(const QByteArray &bytes, TileMode mode, bool map, PaletteColors &palettes, Flaw &flaw)
{
    const qsizetype size = bytes.size();
    const qsizetype words = size / 2;
    if (!map && mode == FourColor && size != 8)
        return flawed(flaw, "palette", has(size) + "not the 8 of 4 colors that the 4 color mode needs");
    if (!map && size != 8 && size != 32)
        return flawed(flaw, "palette", has(size) + "not 8 (4 colors) or 32 (16 colors)");
    // With a map: palettes of the layout's size, or the one palette of a 4-colour picture.
    const int paletteSize = mode == FourColor || size == 8 ? 4 : 16;
    if (map && (size == 0 || size % (2 * paletteSize) != 0))
        return flawed(flaw, "palette", has(size) + "not a non-zero multiple of " + std::to_string(2 * paletteSize)
                              + " (palettes of " + std::to_string(paletteSize) + " colors)");
    if (map && words / paletteSize > TileMap::MaxPalettes)
        return flawed(flaw, "palette", "has " + std::to_string(words / paletteSize) + " palettes, more than the "
                              + std::to_string(TileMap::MaxPalettes) + " a map can name");
    std::cout << "Read Colors (" << words << ")..." << std::endl;
    palettes.count = int(words / paletteSize);
    palettes.size = paletteSize;
    palettes.colors.clear();
    for (qsizetype i = 0; i < words; ++i) {
        const quint16 word = qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
        if (word >= 0x1000) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%04X", word);
            return flawed(flaw, "palette", "has " + std::string(hex) + " for color " + std::to_string(i)
                                  + ", not a 12-bit word below 0x1000");
        }
        // Palette k from entry 16 * k: the low four bits of an index are its colour in the palette.
        const qsizetype at = i / paletteSize * 16 + i % paletteSize;
        while (palettes.colors.size() < at)
            palettes.colors << qRgb(0, 0, 0);
        palettes.colors << Layout::paletteColor(word);
    }
    return true;
}

bool drawTiles(const QByteArray &tiles, TileMode mode, bool rotate, int cellsAcross,
               const PaletteColors &palettes, QImage &picture, Flaw &flaw)
{
    if (!wholeTiles(tiles, mode, flaw))
        return false;
    const qsizetype count = tiles.size() / Layout::tileBytes(mode);
    const qsizetype across = std::min<qsizetype>(cellsAcross, count);
    const qsizetype down = (count + across - 1) / across;
    std::cout << "Draw Image (" << count << " Tiles in " << across << "x" << down << " Slots with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;
    if (!makePicture(across, down, palettes, picture, flaw, "tileData", count, "tiles"))
        return false;
    for (qsizetype tile = 0; tile < count; ++tile) {
        if (!drawTile(tiles, tile, mode, rotate, false, false, int(tile % across) * Layout::TileSize,
                      int(tile / across) * Layout::TileSize, 0, palettes.size, picture, flaw))
            return false;
    }
    return true;
}

bool drawMap(const QByteArray &tiles, const QByteArray &map, TileMode mode, bool rotate,
             const MapNumbers &numbers, const PaletteColors &palettes, QImage &picture, Flaw &flaw)
{
    if (!wholeTiles(tiles, mode, flaw))
        return false;
    const qsizetype cells = map.size() / 2;
    const int width = numbers.cellsAcross;
    if (map.isEmpty() || map.size() % 2 != 0 || cells % width != 0)
        return flawed(flaw, "map", has(map.size()) + "not whole rows of " + std::to_string(width)
                              + " 16-bit entries (-w " + std::to_string(width) + ")");
    const qsizetype height = cells / width;
    // Turned, the map shows the picture a quarter turn clockwise: its rows are the picture's columns.
    const qsizetype tilesAcross = rotate ? height : width, tilesDown = rotate ? width : height;
    const qsizetype count = tiles.size() / Layout::tileBytes(mode);
    std::cout << "Draw Map (" << width << "x" << height << " Cells of " << count << " Tiles with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;
    if (!makePicture(tilesAcross, tilesDown, palettes, picture, flaw, "map", cells, "entries"))
        return false;
    for (qsizetype i = 0; i < cells; ++i) {
        const TileMap::Cell cell = TileMap::cell(qFromLittleEndian<quint16>(map.constData() + 2 * i));
        const auto at = [&] { return " at cell (" + std::to_string(i % width) + ", " + std::to_string(i / width) + ")"; };
        const int tile = cell.tile - numbers.tileBase;
        if (tile < 0 || tile >= count)
            return flawed(flaw, "map", "names tile " + std::to_string(cell.tile) + at() + ", beyond the "
                                  + std::to_string(count) + " tiles of the tile data from tile base "
                                  + std::to_string(numbers.tileBase));
        const int palette = cell.palette - numbers.paletteBase;
        if (palette < 0 || palette >= palettes.count)
            return flawed(flaw, "map", "names palette " + std::to_string(cell.palette) + at() + ", beyond the "
                                  + std::to_string(palettes.count) + " of the palette file from palette base "
                                  + std::to_string(numbers.paletteBase));
        const qsizetype source = TileMap::sourceCell(int(i), int(tilesAcross), int(tilesDown), rotate);
        if (!drawTile(tiles, tile, mode, rotate, cell.mirrorX, cell.mirrorY,
                      int(source % tilesAcross) * Layout::TileSize, int(source / tilesAcross) * Layout::TileSize,
                      16 * palette, palettes.size, picture, flaw))
            return false;
    }
    return true;
}

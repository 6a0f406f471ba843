#ifndef TILESET_H
#define TILESET_H

#include "hashindex.h"
#include "layout.h"

#include <vector>

// The distinct tiles of a picture in order of first appearance, found through a hash of their
// records: each cell costs a few lookups however many tiles there are.
class TileSet
{
public:
    // How a cell shows a tile of the set.
    struct Ref
    {
        int tile = 0;
        bool mirrorX = false; // mirrored left to right
        bool mirrorY = false; // mirrored top to bottom
    };

    // flips: a tile may also be an earlier one mirrored left-right, top-bottom or both.
    TileSet(TileMode mode, bool flips);

    // The tiles of the next count cells (a tile row), their records (tileBytes(mode) bytes each,
    // in file order) one after another: for each, the earlier tile it matches, tried as it is,
    // then left-right, top-bottom and both (the first match wins), or else a new tile at the
    // end of the set. The lookups of the cells are made together.
    void add(const uchar *records, int count, Ref *refs);

    // Distinct tiles so far.
    int size() const { return int(data.size()) / tileBytes; }

    // Cells so far that show a tile mirrored.
    int mirroredCells() const { return mirrored; }

    // The records of the distinct tiles, one after another, in order of first appearance.
    const std::vector<uchar> &records() const { return data; }

private:
    TileMode mode;
    int tileBytes;
    bool flips;
    int mirrored = 0;
    std::vector<uchar> data;
    // Tiles under a key: with flips, the least hash of their mirror images.
    HashIndex index;
    std::vector<uchar> variants; // of the cells being added: each as it is and mirrored
    std::vector<quint32> keys;   // of the cells being added
};

// Tile maps: one 16-bit little-endian entry a cell, cells left to right, rows top to bottom.
namespace TileMap {

// Tile numbers have 10 bits, palette numbers 4.
constexpr int MaxTiles = 1024;
constexpr int MaxPalettes = 16;

// An entry: tile bits 0-8 in bits 0-8, the palette in bits 9-12, tile bit 9 in bit 13, mirrored
// left to right in bit 14, top to bottom in bit 15.
constexpr quint16 entry(int tile, int palette, bool mirrorX, bool mirrorY)
{
    return quint16((tile & 0x1FF) | (palette & 0xF) << 9 | ((tile >> 9) & 1) << 13
                   | int(mirrorX) << 14 | int(mirrorY) << 15);
}

// What an entry says.
struct Cell
{
    int tile;
    int palette;
    bool mirrorX;
    bool mirrorY;
};

constexpr Cell cell(quint16 entry)
{
    return { (entry & 0x1FF) | ((entry >> 13) & 1) << 9, (entry >> 9) & 0xF, bool(entry & 0x4000),
             bool(entry & 0x8000) };
}

// Cells across the map of a picture of tilesAcross by tilesDown cells: with rotate the map shows
// the picture turned a quarter turn clockwise, as its turned tiles do.
constexpr int width(int tilesAcross, int tilesDown, bool rotate)
{
    return rotate ? tilesDown : tilesAcross;
}

// The picture's cell (numbered in reading order) that map cell i shows: with rotate, map cell
// (x, y) shows picture cell (y, tilesDown - 1 - x).
constexpr int sourceCell(int i, int tilesAcross, int tilesDown, bool rotate)
{
    return rotate ? (tilesDown - 1 - i % tilesDown) * tilesAcross + i / tilesDown : i;
}

} // namespace TileMap

#endif

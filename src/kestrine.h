#ifndef KESTRINE_H
#define KESTRINE_H

#include "layout.h"
#include "tilecolors.h"
#include "tileset.h"

#include <memory>
#include <vector>

class QDataStream;
class QImage;

// What a conversion does beyond the tile data and the palette; the defaults do nothing more.
struct ConvertOptions
{
    QDataStream *mapStream = nullptr; // write a tile map there (little-endian, like the others)
    bool unique = false;              // the tile data holds each distinct tile once
    bool flips = false;               // as unique, and a tile may be an earlier one mirrored
    int tileBase = 0;                 // the map's first tile number
    int paletteBase = 0;              // the palette number in the map's entries
    // 0: the picture's own colour table. 1 to 16: any picture, in up to that many palettes of
    // 16 words (4 in FourColor) built from its colours, unless it is indexed with a table that
    // fits one palette, which is then kept as it is.
    int palettes = 0;
};

// Converts an indexed picture into 8x8 tile data and a 12-bit RGB palette, and on request a map.
// Borrows the picture and the streams; the caller keeps them alive and owns them.
class Kestrine
{
public:
    Kestrine(QImage *image, QDataStream *paletteStream, QDataStream *pictureStream, TileMode mode,
             bool rotate, const ConvertOptions &options = {});
    ~Kestrine();

    // True when the picture is 8-bit indexed with 4 or 16 colours and at least 8x8 (with
    // palettes: any picture of at least 8x8 whose tiles fit them), and its tiles fit the map
    // asked for; otherwise prints the reason on stderr and returns false. Writes nothing:
    // palettes and distinct tiles are found here, so that every limit is known in time.
    bool readImage();

    // Writes the palette (4 words in FourColor, else one per colour), or the palettes built;
    // false when the stream failed.
    bool convertColors();

    // Writes every whole tile, row by row (or each distinct tile once); false for an unknown mode
    // or a failed stream.
    bool convertImage();

    // Writes the map, if one was asked for; false when the stream failed.
    bool convertMap();

private:
    // Source pixel (sx, sy) inside a tile for output pixel (x, y); a clockwise turn when rotate is set.
    void mapPixel(int x, int y, int &sx, int &sy) const;

    // The records of tile row ty, tilesAcross tiles one after another, into out.
    void encodeTileRow(int ty, uchar *out) const;

    // readImage with palettes: takes the picture's own table, or builds palettes from its colours.
    bool readColors();

    // Finds the distinct tiles when they are asked for, and checks the map's limits.
    bool planTiles();

    // The palette of a cell of the picture, in reading order.
    int paletteOf(int cell) const { return tileColors ? tileColors->paletteOf(cell) : 0; }

    QImage *image;
    QDataStream *pictureStream;
    QDataStream *paletteStream;
    int numColors = 0;
    bool rotate;
    TileMode mode;
    ConvertOptions options;
    std::unique_ptr<TileColors> tileColors; // palettes built from the colours
    std::unique_ptr<TileSet> tileSet;  // with unique or flips
    std::vector<TileSet::Ref> cellRefs; // the tile set's tile of every cell, in reading order
};

#endif

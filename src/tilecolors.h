#ifndef TILECOLORS_H
#define TILECOLORS_H

#include "hashindex.h"

#include <QtGlobal>

#include <array>
#include <vector>

class QImage;

// The colours of a picture's whole tiles as 12-bit palette words, and the palettes built from
// them: every tile's colours in one palette, as few palettes as the packing finds. Borrows the
// picture, which must outlive it.
class TileColors
{
public:
    // What stands for a pixel whose alpha is below 128.
    static constexpr quint16 Transparent = 0x1000;

    // Reads every whole tile of a picture in any format Qt decodes: one pass over the pixels.
    explicit TileColors(const QImage &picture);

    // True when some pixel of a whole tile is transparent: slot 0 of every palette is kept for it.
    bool hasTransparency() const { return transparency; }

    // Distinct opaque colours in the whole tiles.
    int colorCount() const;

    // The first tile, in reading order, with more than limit opaque colours, or -1; count takes
    // its number of colours.
    int tileOverLimit(int limit, int &count) const;

    // Packs the tiles' colours into palettes of paletteSize words (the transparent slot among them)
    // and returns how many it takes. Palettes come in order of their first tile; colours within
    // a palette in order of first appearance (tiles in reading order, each row by row), after
    // the transparent slot. Every tile must fit (see tileOverLimit).
    int pack(int paletteSize);

    // The words of every palette, in slot order (Transparent is written as 0x000).
    const std::vector<std::vector<quint16>> &palettes() const { return paletteWords; }

    // The palette of the tile in reading order (after pack).
    int paletteOf(int tile) const { return paletteOfSet[size_t(setOfTile[size_t(tile)])]; }

    // The indexes of tile row ty into each tile's palette (after pack): for tile tx, rows
    // 8 * tx to 8 * tx + 7, one byte a pixel, the leftmost in the lowest byte. Reads that row of
    // the picture again.
    void tileRowIndexes(int ty, std::vector<quint64> &rows) const;

private:
    // The words of tile row ty of the picture, tilesAcross * 8 wide and 8 high, row by row.
    void readBand(int ty, std::vector<quint16> &words) const;

    // The id of a colour set (its words in order of first appearance, each stamped with the
    // current tile), a new one if unseen.
    int setOf(const quint16 *words, int count);

    const QImage &picture;
    int tilesAcross, tilesDown;
    bool transparency = false;
    std::array<quint16, 256> indexedWords{}; // the words of an indexed picture's colour table
    int tiles = 0;               // read so far: the stamp of the tile being read
    std::vector<int> stampOf;    // of each word: the last tile that has it

    std::vector<int> setOfTile;       // the colour set of every tile
    std::vector<int> colorsOfTile;    // how many opaque colours each tile has
    std::vector<quint16> setWords;    // every set's opaque words, one set after another
    std::vector<quint32> setStart;    // where each set starts in setWords, and the end
    HashIndex sets;                   // the sets under a hash of their words in any order

    std::vector<int> paletteOfSet;
    std::vector<std::vector<quint16>> paletteWords;
    std::vector<std::array<uchar, 4097>> slotOf; // every palette's index of each word
};

#endif

#ifndef LAYOUT_H
#define LAYOUT_H

#include <QRgb>
#include <QtGlobal>

// Output encoding of the tile data. NoMode marks "no mode letter seen yet" in the driver only.
enum TileMode : int {
    Linear = 0,    // 4 bits per pixel, two pixels per byte, left pixel in the high nibble
    Planar = 1,    // 4 bits per pixel as four bit planes, one byte per plane and row
    FourColor = 2, // 2 bits per pixel as two bit planes (indexes taken modulo 4)
    NoMode = 3
};

// What both ends of the tile data and palette files agree on; no I/O here.
namespace Layout {

constexpr int TileSize = 8;

// Bytes of one row record of a tile (4, or 2 in FourColor).
constexpr int rowBytes(TileMode mode) { return mode == FourColor ? 2 : 4; }

// Bytes of one whole tile.
constexpr int tileBytes(TileMode mode) { return TileSize * rowBytes(mode); }

// Source pixel (sx, sy) inside a tile for output pixel (x, y); a quarter turn clockwise when rotate
// is set: the source's top row becomes the output's right-hand column.
inline void sourcePixel(bool rotate, int x, int y, int &sx, int &sy)
{
    sx = rotate ? y : x;
    sy = rotate ? TileSize - 1 - x : y;
}

// The row record of eight indexes p[0] (left) to p[7] as bytes, in file order.
// Linear keeps the low nibble of each index, Planar four bits, FourColor two.
void encodeRow(TileMode mode, const uint p[TileSize], uchar record[4]);

// Inverse of encodeRow: the eight indexes of a row record.
void decodeRow(TileMode mode, const uchar record[4], uint p[TileSize]);

// Palette word 0x0RGB: the top four bits of each channel, alpha dropped.
constexpr quint16 paletteWord(QRgb c)
{
    return quint16(((c >> 12) & 0xF00) | ((c >> 8) & 0x0F0) | ((c >> 4) & 0x00F));
}

// Opaque colour of a palette word, each 4-bit channel c widened to c * 17.
constexpr QRgb paletteColor(quint16 word)
{
    return 0xFF000000u | (((word >> 8) & 0xF) * 0x110000u) | (((word >> 4) & 0xF) * 0x1100u)
            | ((word & 0xF) * 0x11u);
}

} // namespace Layout

#endif

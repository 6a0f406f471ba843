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

// The mode that an option letter of either tool selects (l, p, 4); NoMode for any other letter.
constexpr TileMode modeOfLetter(int letter)
{
    return letter == 'l' ? Linear : letter == 'p' ? Planar : letter == '4' ? FourColor : NoMode;
}

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

// The row record of eight indexes packed one a byte, p0 (left) in the least significant byte;
// the result's bytes, least significant first, are the record in file order. Linear keeps the
// low nibble of each index, Planar four bits, FourColor two. Inline: it runs once a row.
inline quint32 packedRecord(TileMode mode, quint64 pixels)
{
    constexpr quint64 lowBits = 0x0101010101010101;
    // Multiplying the low bits of the eight bytes by this lines them up in the top byte, the
    // lowest byte's bit on top: one bit plane, leftmost pixel in bit 7.
    constexpr quint64 gather = 0x8040201008040201;
    if (mode == Linear) {
        const quint64 nibbles = pixels & 0x0F0F0F0F0F0F0F0F;
        quint64 pairs = ((nibbles << 4) | (nibbles >> 8)) & 0x00FF00FF00FF00FF;
        pairs = (pairs | (pairs >> 8)) & 0x0000FFFF0000FFFF;
        return quint32(pairs | (pairs >> 16));
    }
    quint32 record = 0;
    for (int k = 0; k < rowBytes(mode); ++k)
        record |= quint32((((pixels >> k) & lowBits) * gather) >> 56) << (8 * k);
    return record;
}

// Inverse of packedRecord: the eight indexes of a row record given as bytes in file order.
void decodeRow(TileMode mode, const uchar record[4], uint p[TileSize]);

// Turns a tile a quarter turn clockwise in place (as sourcePixel does): rows[y] holds row y packed
// as for packedRecord, top row first.
inline void turnTile(quint64 rows[TileSize])
{
    // The turn is the transpose of the tile read from the bottom row up.
    for (int y = 0; y < TileSize / 2; ++y) {
        const quint64 top = rows[y];
        rows[y] = rows[TileSize - 1 - y];
        rows[TileSize - 1 - y] = top;
    }
    // Transpose by swapping ever larger blocks across the diagonal: 1, 2, then 4 bytes wide.
    for (int width = 1; width < TileSize; width *= 2) {
        const int bits = 8 * width;
        const quint64 mask = width == 1 ? 0x00FF00FF00FF00FF
                : width == 2            ? 0x0000FFFF0000FFFF
                                        : 0x00000000FFFFFFFF;
        for (int y = 0; y < TileSize; ++y) {
            if (y & width)
                continue;
            const quint64 swap = ((rows[y] >> bits) ^ rows[y + width]) & mask;
            rows[y + width] ^= swap;
            rows[y] ^= swap << bits;
        }
    }
}

// A tile mirrored: leftRight reverses the pixels of every row, topBottom the order of the rows.
// tile and out hold tileBytes(mode) bytes in file order and may be the same.
void mirrorTile(TileMode mode, const uchar *tile, bool leftRight, bool topBottom, uchar *out);

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

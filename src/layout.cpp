#include "layout.h"

#include <QtEndian>

namespace Layout {

void decodeRow(TileMode mode, const uchar record[4], uint p[TileSize])
{
    for (int i = 0; i < TileSize; ++i) {
        if (mode == Linear) {
            p[i] = (record[i / 2] >> (i % 2 ? 0 : 4)) & 0xF;
        } else {
            p[i] = 0;
            for (int k = 0; k < rowBytes(mode); ++k)
                p[i] |= uint((record[k] >> (7 - i)) & 1) << k;
        }
    }
}

// The rows in a 64-bit word of a record (two of 4 bytes, or four of 2), each with its pixels in
// reverse order. Linear keeps a pixel in a nibble: reverse the bytes of each row, then the two
// nibbles of each byte. The planar layouts keep one in a bit of every byte: reverse each byte.
static quint64 mirroredRows(TileMode mode, quint64 rows)
{
    if (mode == Linear) {
        rows = qbswap(rows);
        rows = rows << 32 | rows >> 32; // the rows back in their places
        return ((rows & 0x0F0F0F0F0F0F0F0F) << 4) | ((rows >> 4) & 0x0F0F0F0F0F0F0F0F);
    }
    rows = ((rows >> 1) & 0x5555555555555555) | ((rows & 0x5555555555555555) << 1);
    rows = ((rows >> 2) & 0x3333333333333333) | ((rows & 0x3333333333333333) << 2);
    return ((rows >> 4) & 0x0F0F0F0F0F0F0F0F) | ((rows & 0x0F0F0F0F0F0F0F0F) << 4);
}

// The rows in a 64-bit word in reverse order.
static quint64 reversedRows(TileMode mode, quint64 rows)
{
    if (rowBytes(mode) == 4)
        return rows << 32 | rows >> 32;
    rows = rows << 32 | rows >> 32;
    return ((rows & 0x0000FFFF0000FFFF) << 16) | ((rows >> 16) & 0x0000FFFF0000FFFF);
}

void mirrorTile(TileMode mode, const uchar *tile, bool leftRight, bool topBottom, uchar *out)
{
    const int words = tileBytes(mode) / 8;
    quint64 rows[4];
    for (int i = 0; i < words; ++i)
        rows[i] = qFromLittleEndian<quint64>(tile + 8 * i);
    for (int i = 0; i < words; ++i) {
        quint64 word = rows[topBottom ? words - 1 - i : i];
        if (topBottom)
            word = reversedRows(mode, word);
        if (leftRight)
            word = mirroredRows(mode, word);
        qToLittleEndian(word, out + 8 * i);
    }
}

} // namespace Layout

#include "layout.h"

#include <QtEndian>

#include <algorithm>

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

// A row record with its pixels in reverse order. Linear keeps a pixel in a nibble: reverse the
// bytes, then the two nibbles of each. The planar layouts keep one in a bit of every byte.
static quint32 mirroredRow(TileMode mode, quint32 record)
{
    if (mode == Linear) {
        record = qbswap(record);
        return ((record & 0x0F0F0F0F) << 4) | ((record >> 4) & 0x0F0F0F0F);
    }
    record = ((record >> 1) & 0x55555555) | ((record & 0x55555555) << 1);
    record = ((record >> 2) & 0x33333333) | ((record & 0x33333333) << 2);
    return ((record >> 4) & 0x0F0F0F0F) | ((record & 0x0F0F0F0F) << 4);
}

void mirrorTile(TileMode mode, const uchar *tile, bool leftRight, bool topBottom, uchar *out)
{
    const int bytes = rowBytes(mode);
    uchar rows[TileSize][4] = {};
    for (int y = 0; y < TileSize; ++y)
        std::copy_n(tile + y * bytes, bytes, rows[topBottom ? TileSize - 1 - y : y]);
    for (int y = 0; y < TileSize; ++y) {
        quint32 record = qFromLittleEndian<quint32>(rows[y]);
        if (leftRight)
            record = mirroredRow(mode, record);
        uchar word[4];
        qToLittleEndian(record, word);
        std::copy_n(word, bytes, out + y * bytes);
    }
}

} // namespace Layout

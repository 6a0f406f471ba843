#include "layout.h"

namespace Layout {

void encodeRow(TileMode mode, const uint p[TileSize], uchar record[4])
{
    record[0] = record[1] = record[2] = record[3] = 0;
    for (int i = 0; i < TileSize; ++i) {
        if (mode == Linear) {
            // Two pixels a byte, the left one in the high nibble.
            record[i / 2] |= uchar((p[i] & 0xF) << (i % 2 ? 0 : 4));
        } else {
            // Byte k is bit plane k, the leftmost pixel in bit 7.
            for (int k = 0; k < rowBytes(mode); ++k)
                record[k] |= uchar(((p[i] >> k) & 1) << (7 - i));
        }
    }
}

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

} // namespace Layout

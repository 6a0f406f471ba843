#include "layout.h"

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

} // namespace Layout

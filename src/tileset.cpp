#include "tileset.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

quint32 hashOf(const uchar *record, int bytes)
{
    quint64 hash = 0x243F6A8885A308D3ull;
    for (int i = 0; i < bytes; i += 8)
        hash = (hash ^ qFromUnaligned<quint64>(record + i)) * 0x9E3779B97F4A7C15ull;
    return quint32(hash >> 32);
}

} // namespace

TileSet::TileSet(TileMode mode, bool flips)
    : mode(mode), tileBytes(Layout::tileBytes(mode)), flips(flips)
{
}

void TileSet::add(const uchar *records, int count, Ref *refs)
{
    index.reserve(size_t(count)); // no bucket moves while the row is looked up
    const int tries = flips ? 4 : 1;

    // Each cell as it is, then mirrored left-right, top-bottom and both. A tile and its mirror
    // images share one key, the least hash of the four, so one probe finds any earlier tile
    // that the cell mirrors; and no two tiles of the set are mirror images of each other, so at
    // most one tile can match.
    variants.resize(size_t(count) * 4 * size_t(tileBytes));
    keys.resize(size_t(count));
    for (int c = 0; c < count; ++c) {
        const uchar *record = records + size_t(c) * size_t(tileBytes);
        uchar *cell = variants.data() + size_t(c) * 4 * size_t(tileBytes);
        std::memcpy(cell, record, size_t(tileBytes));
        quint32 key = hashOf(record, tileBytes);
        for (int v = 1; v < tries; ++v) {
            Layout::mirrorTile(mode, record, v & 1, v & 2, cell + v * tileBytes);
            key = std::min(key, hashOf(cell + v * tileBytes, tileBytes));
        }
        keys[size_t(c)] = key;
        index.prefetch(key);
    }

    for (int c = 0; c < count; ++c) {
        const uchar *cell = variants.data() + size_t(c) * 4 * size_t(tileBytes);
        int variant = 0;
        // Mirroring is its own inverse: the cell is the tile mirrored when its mirror image is the tile.
        const int tile = index.find(keys[size_t(c)], [&](int candidate) {
            const uchar *stored = data.data() + size_t(candidate) * size_t(tileBytes);
            for (variant = 0; variant < tries; ++variant) {
                if (std::memcmp(stored, cell + variant * tileBytes, size_t(tileBytes)) == 0)
                    return true;
            }
            return false;
        });
        if (tile >= 0) {
            mirrored += variant != 0;
            refs[c] = { tile, bool(variant & 1), bool(variant & 2) };
            continue;
        }
        refs[c] = { size(), false, false };
        index.insert(keys[size_t(c)], size());
        data.insert(data.end(), cell, cell + tileBytes);
    }
}

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
    : mode(mode), tileBytes(Layout::tileBytes(mode)), flips(flips), buckets(1024, 0)
{
}

void TileSet::insert(quint64 bucket)
{
    const size_t mask = buckets.size() - 1;
    size_t i = size_t(bucket >> 32) & mask;
    while (buckets[i] != 0)
        i = (i + 1) & mask;
    buckets[i] = bucket;
}

TileSet::Ref TileSet::add(const uchar *record)
{
    Ref ref;
    add(record, 1, &ref);
    return ref;
}

void TileSet::add(const uchar *records, int count, Ref *refs)
{
    // Room for every new tile first, so that no bucket moves while the row is looked up.
    if (2 * (size_t(tiles) + size_t(count)) > buckets.size()) {
        size_t size = buckets.size();
        while (2 * (size_t(tiles) + size_t(count)) > size)
            size *= 2;
        std::vector<quint64> old(size, 0);
        old.swap(buckets);
        for (quint64 bucket : old) {
            if (bucket != 0)
                insert(bucket);
        }
    }
    const size_t mask = buckets.size() - 1;
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
        // The buckets are far apart in a large set: ask for them all before the first is needed.
        __builtin_prefetch(&buckets[key & mask]);
    }

    for (int c = 0; c < count; ++c) {
        const uchar *cell = variants.data() + size_t(c) * 4 * size_t(tileBytes);
        const quint32 key = keys[size_t(c)];
        refs[c] = find(cell, key, tries);
        if (refs[c].tile >= 0)
            continue;
        const int tile = tiles++;
        data.insert(data.end(), cell, cell + tileBytes);
        insert(quint64(key) << 32 | quint32(tile + 1));
        refs[c] = { tile, false, false };
    }
}

TileSet::Ref TileSet::find(const uchar *cell, quint32 key, int tries)
{
    const size_t mask = buckets.size() - 1;
    for (size_t i = key & mask; buckets[i] != 0; i = (i + 1) & mask) {
        if (quint32(buckets[i] >> 32) != key)
            continue;
        const int tile = int(quint32(buckets[i]) - 1);
        const uchar *stored = data.data() + size_t(tile) * size_t(tileBytes);
        // Mirroring is its own inverse: the cell is the tile mirrored when its mirror image is the tile.
        for (int v = 0; v < tries; ++v) {
            if (std::memcmp(stored, cell + v * tileBytes, size_t(tileBytes)) == 0) {
                mirrored += v != 0;
                return { tile, bool(v & 1), bool(v & 2) };
            }
        }
    }
    return { -1, false, false };
}

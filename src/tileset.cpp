#include "tileset.h"

#include <QtEndian>

#include <cstring>

namespace {

quint32 hashOf(const uchar *record, int bytes)
{
    quint64 hash = 0x243F6A8885A308D3ull;
    for (int i = 0; i < bytes; i += 8)
        hash = (hash ^ qFromUnaligned<quint64>(record + i)) * 0x9E3779B97F4A7C15ull;
    return quint32(hash ^ (hash >> 29));
}

} // namespace

TileSet::TileSet(TileMode mode, bool flips)
    : mode(mode), tileBytes(Layout::tileBytes(mode)), flips(flips), buckets(1024, 0)
{
}

int TileSet::find(const uchar *record, quint32 hash) const
{
    const size_t mask = buckets.size() - 1;
    for (size_t i = hash & mask; buckets[i] != 0; i = (i + 1) & mask) {
        const int tile = int(buckets[i] - 1);
        if (tileHashes[size_t(tile)] == hash
            && std::memcmp(data.data() + size_t(tile) * size_t(tileBytes), record, size_t(tileBytes)) == 0)
            return tile;
    }
    return -1;
}

void TileSet::insert(int tile)
{
    const size_t mask = buckets.size() - 1;
    size_t i = tileHashes[size_t(tile)] & mask;
    while (buckets[i] != 0)
        i = (i + 1) & mask;
    buckets[i] = quint32(tile + 1);
}

TileSet::Ref TileSet::add(const uchar *record)
{
    const quint32 hash = hashOf(record, tileBytes);
    if (const int tile = find(record, hash); tile >= 0)
        return { tile, false, false };
    if (flips) {
        // Mirroring is its own inverse: the cell is tile t mirrored when its mirror image is t.
        uchar mirror[Layout::tileBytes(Linear)];
        for (const auto &[mirrorX, mirrorY] : { std::pair{ true, false }, { false, true }, { true, true } }) {
            Layout::mirrorTile(mode, record, mirrorX, mirrorY, mirror);
            if (const int tile = find(mirror, hashOf(mirror, tileBytes)); tile >= 0) {
                ++mirrored;
                return { tile, mirrorX, mirrorY };
            }
        }
    }
    const int tile = size();
    data.insert(data.end(), record, record + tileBytes);
    tileHashes.push_back(hash);
    // Half full at most, so that a lookup of a tile that is not there ends soon.
    if (2 * tileHashes.size() > buckets.size()) {
        buckets.assign(2 * buckets.size(), 0);
        for (int t = 0; t < size(); ++t)
            insert(t);
    } else {
        insert(tile);
    }
    return { tile, false, false };
}

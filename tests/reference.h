#ifndef REFERENCE_H
#define REFERENCE_H

// The output files worked out by their plain rules, apart from src/, so that the two can disagree:
// one pixelIndex call a pixel, rows merged with shifts, tiles compared one by one in a list.

#include "layout.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QtEndian>

#include <array>
#include <functional>

namespace Reference {

// The 64 indexes of a tile, row by row from the top.
using Tile = std::array<int, 64>;

// The tile of cell (tx, ty), raw indexes as the picture holds them.
inline Tile tileAt(const QImage &image, int tx, int ty)
{
    Tile tile;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            tile[size_t(8 * y + x)] = image.pixelIndex(8 * tx + x, 8 * ty + y);
    return tile;
}

// A quarter turn clockwise: the source's top row becomes the right-hand column.
inline Tile turned(const Tile &tile)
{
    Tile out;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            out[size_t(8 * y + x)] = tile[size_t(8 * (7 - x) + y)];
    return out;
}

inline Tile mirrored(const Tile &tile, bool leftRight, bool topBottom)
{
    Tile out;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            out[size_t(8 * y + x)] = tile[size_t(8 * (topBottom ? 7 - y : y) + (leftRight ? 7 - x : x))];
    return out;
}

// A tile's record: each row merged into a 32-bit value with shifts and written little-endian.
inline QByteArray record(const Tile &tile, TileMode mode)
{
    QByteArray out;
    for (int r = 0; r < 8; ++r) {
        quint32 row = 0;
        for (int i = 0; i < 8; ++i) {
            quint32 p = quint32(tile[size_t(8 * r + i)]);
            if (mode == Linear) {
                row |= (p & 0xF) << (4 * (7 - i)); // past 15 an index keeps its low nibble
            } else if (mode == Planar) {
                row |= (((p & 1) << 7) | ((p & 2) << 14) | ((p & 4) << 21) | ((p & 8) << 28)) >> i;
            } else {
                p &= 3;
                row |= (((p & 1) << 7) | ((p & 2) << 14)) >> i;
            }
        }
        char bytes[4];
        qToLittleEndian(mode == Linear ? qbswap(row) : row, bytes);
        out += QByteArray(bytes, mode == FourColor ? 2 : 4);
    }
    return out;
}

// The tile data of every whole tile in reading order, each turned when rotate is set.
inline QByteArray tiles(const QImage &image, TileMode mode, bool rotate)
{
    QByteArray out;
    for (int ty = 0; ty < image.height() / 8; ++ty)
        for (int tx = 0; tx < image.width() / 8; ++tx)
            out += record(rotate ? turned(tileAt(image, tx, ty)) : tileAt(image, tx, ty), mode);
    return out;
}

// Palette words 0x0RGB, little-endian, of the first count colours.
inline QByteArray palette(const QList<QRgb> &colors, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const QRgb c = colors.at(i);
        out += char((qGreen(c) & 0xF0) | qBlue(c) >> 4);
        out += char(qRed(c) >> 4);
    }
    return out;
}

// A record's 64 indexes, the inverse of record().
inline Tile decoded(const QByteArray &record, TileMode mode)
{
    Tile tile;
    const int rowBytes = mode == FourColor ? 2 : 4;
    for (int r = 0; r < 8; ++r) {
        for (int i = 0; i < 8; ++i) {
            int p = 0;
            if (mode == Linear) {
                p = (uchar(record[rowBytes * r + i / 2]) >> (i % 2 ? 0 : 4)) & 0xF;
            } else {
                for (int k = 0; k < rowBytes; ++k)
                    p |= ((uchar(record[rowBytes * r + k]) >> (7 - i)) & 1) << k;
            }
            tile[size_t(8 * r + i)] = p;
        }
    }
    return tile;
}

// A tile turned back: the inverse of turned().
inline Tile unturned(const Tile &tile) { return turned(turned(turned(tile))); }

// The 12-bit word of every pixel of a picture's whole tiles as the files describe it, decoded
// cell by cell: the map's entry names the tile, its mirror bits and its palette; the tile data
// gives the index, the palette file the word. A turned map is turned back. -1 for an index that
// names slot 0 of a picture with transparency (transparent).
inline QList<int> decodedWords(const QByteArray &tiles, const QByteArray &palette, const QByteArray &map,
                               TileMode mode, bool rotate, int tilesAcross, int tilesDown,
                               int tileBase, int paletteBase, bool transparency)
{
    const int tileBytes = mode == FourColor ? 16 : 32, paletteSize = mode == FourColor ? 4 : 16;
    QList<int> words(8 * tilesAcross * 8 * tilesDown, -2);
    const int width = rotate ? tilesDown : tilesAcross;
    for (int i = 0; i < tilesAcross * tilesDown; ++i) {
        const int entry = uchar(map[2 * i]) | uchar(map[2 * i + 1]) << 8;
        const int tile = ((entry & 0x1FF) | ((entry >> 13) & 1) << 9) - tileBase;
        const int pal = ((entry >> 9) & 0xF) - paletteBase;
        Tile pixels = mirrored(decoded(tiles.mid(tile * tileBytes, tileBytes), mode), entry & 0x4000, entry & 0x8000);
        const int x = i % width, y = i / width;
        int cx = x, cy = y;
        if (rotate) {
            pixels = unturned(pixels);
            cx = y;
            cy = tilesDown - 1 - x;
        }
        for (int py = 0; py < 8; ++py) {
            for (int px = 0; px < 8; ++px) {
                const int index = pixels[size_t(8 * py + px)];
                const int at = 2 * (pal * paletteSize + index);
                words[(8 * cy + py) * 8 * tilesAcross + 8 * cx + px] = transparency && index == 0
                        ? -1 : uchar(palette[at]) | uchar(palette[at + 1]) << 8;
            }
        }
    }
    return words;
}

// A colour as the 12-bit palette keeps it and the view shows it: each channel's top nibble times 17.
inline QRgb widened(QRgb c)
{
    return qRgb((qRed(c) >> 4) * 17, (qGreen(c) >> 4) * 17, (qBlue(c) >> 4) * 17);
}

// What a conversion with a map asks for.
struct MapRequest
{
    bool unique = false;
    bool flips = false;
    int tileBase = 0;
    int paletteBase = 0;
};

struct TilesAndMap
{
    QByteArray tiles, map;
    int distinct = 0, mirrored = 0;
};

// Tile data and map of an indexed picture: distinct tiles kept in a list and searched from its
// start, as they are, then left-right, top-bottom and both; the map of a turned picture is the
// picture turned as a whole.
inline TilesAndMap tilesAndMap(const QImage &image, TileMode mode, bool rotate, const MapRequest &request)
{
    const int across = image.width() / 8, down = image.height() / 8;
    TilesAndMap out;
    QList<QByteArray> list;
    QList<quint16> entries; // of the cells in reading order
    for (int ty = 0; ty < down; ++ty) {
        for (int tx = 0; tx < across; ++tx) {
            const Tile tile = rotate ? turned(tileAt(image, tx, ty)) : tileAt(image, tx, ty);
            int number = int(entries.size());
            bool mirrorX = false, mirrorY = false;
            if (request.unique || request.flips) {
                number = -1;
                const int tries = request.flips ? 4 : 1;
                for (int t = 0; t < tries && number < 0; ++t) {
                    mirrorX = t == 1 || t == 3;
                    mirrorY = t >= 2;
                    number = int(list.indexOf(record(mirrored(tile, mirrorX, mirrorY), mode)));
                }
                if (number < 0) {
                    mirrorX = mirrorY = false;
                    number = int(list.size());
                    list << record(tile, mode);
                } else if (mirrorX || mirrorY) {
                    ++out.mirrored;
                }
            } else {
                list << record(tile, mode);
            }
            const int n = request.tileBase + number;
            entries << quint16((n & 0x1FF) | request.paletteBase << 9 | (n >> 9) << 13 | mirrorX << 14 | mirrorY << 15);
        }
    }
    for (const QByteArray &r : list)
        out.tiles += r;
    out.distinct = int(list.size());
    const int width = rotate ? down : across, height = rotate ? across : down;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int cell = rotate ? (down - 1 - x) * across + y : y * across + x;
            out.map += char(entries[cell] & 0xFF);
            out.map += char(entries[cell] >> 8);
        }
    }
    return out;
}

} // namespace Reference

#endif

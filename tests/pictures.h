#ifndef PICTURES_H
#define PICTURES_H

// Pictures built in code: indexed pictures from an index function, and files built byte by byte
// for the shapes that no writer produces on purpose (cut files, lying headers, pixel indexes
// beyond the colour table).

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRandomGenerator>
#include <QRgb>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <functional>
#include <numeric>

using IndexAt = std::function<int(int x, int y)>;

inline QList<QRgb> colourTable(int colors)
{
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << qRgb(i * 16, 255 - i * 16, (i * 5 % 16) * 16);
    return table;
}

// An 8-bit indexed picture whose raw pixel bytes come from index(x, y), values beyond the table
// included, with colourTable(colors).
inline QImage indexedImage(int width, int height, int colors, const IndexAt &index)
{
    QImage image(width, height, QImage::Format_Indexed8);
    image.setColorTable(colourTable(colors));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = uchar(index(x, y));
    return image;
}

// A picture whose cells are tiles from a pool of poolSize random tiles (indexes below `indexes`),
// each placed as it is or mirrored left-right, top-bottom or both, at random; a strip of up to
// 7 pixels right and below that no whole tile reaches. The colour table has `colors` random entries.
inline QImage pooledImage(QRandomGenerator &random, int tilesAcross, int tilesDown, int colors,
                          int indexes, int poolSize)
{
    QList<std::array<uchar, 64>> pool(poolSize);
    for (auto &tile : pool)
        for (uchar &p : tile)
            p = uchar(random.bounded(indexes));
    QImage image(8 * tilesAcross + random.bounded(8), 8 * tilesDown + random.bounded(8), QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << (0xFF000000 | random.bounded(0x1000000));
    image.setColorTable(table);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = uchar(random.bounded(indexes));
    for (int ty = 0; ty < tilesDown; ++ty) {
        for (int tx = 0; tx < tilesAcross; ++tx) {
            const auto &tile = pool[random.bounded(poolSize)];
            const bool mirrorX = random.bounded(2), mirrorY = random.bounded(2);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    image.scanLine(8 * ty + y)[8 * tx + x] = tile[size_t(8 * (mirrorY ? 7 - y : y) + (mirrorX ? 7 - x : x))];
        }
    }
    return image;
}

using ColorAt = std::function<QRgb(int x, int y)>;

// A true-colour picture with alpha whose pixels come from color(x, y).
inline QImage trueColorImage(int width, int height, const ColorAt &color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, color(x, y));
    return image;
}

// A true-colour picture drawn from `palettes` random palettes of `colors` colours each (12-bit
// colours, none shared): every tile uses a random part of one palette, and with transparency
// some pixels are transparent. The picture fits in `palettes` palettes of colors (+1) slots.
inline QImage paletteDrawnImage(QRandomGenerator &random, int tilesAcross, int tilesDown, int palettes,
                                int colors, bool transparency)
{
    QList<QRgb> all;
    QList<int> words = QList<int>(4096);
    std::iota(words.begin(), words.end(), 0);
    std::shuffle(words.begin(), words.end(), random);
    for (int i = 0; i < palettes * colors; ++i) {
        const int w = words[i];
        // Low bits at random: only the top four of each channel count.
        all << qRgb((w >> 8) * 16 + random.bounded(16), ((w >> 4) & 0xF) * 16 + random.bounded(16), (w & 0xF) * 16 + random.bounded(16));
    }
    QImage image(8 * tilesAcross + random.bounded(8), 8 * tilesDown + random.bounded(8), QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0));
    for (int ty = 0; ty < tilesDown; ++ty) {
        for (int tx = 0; tx < tilesAcross; ++tx) {
            const int palette = random.bounded(palettes);
            const int used = random.bounded(1, colors + 1);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const bool clear = transparency && random.bounded(8) == 0;
                    image.setPixel(8 * tx + x, 8 * ty + y, clear ? qRgba(random.bounded(256), 0, 0, random.bounded(128))
                                                                 : all[palette * colors + random.bounded(used)]);
                }
            }
        }
    }
    return image;
}

inline void putLe32(QByteArray &bytes, int at, quint32 value) { qToLittleEndian(value, bytes.data() + at); }
inline void putLe16(QByteArray &bytes, int at, quint16 value) { qToLittleEndian(value, bytes.data() + at); }

enum BmpCompression { Uncompressed = 0, Rle8 = 1, Rle4 = 2 };

// Offset of the pixel data in every BMP made here: file header, 40-byte info header, colour table.
inline int bmpPixelOffset(int colors) { return 14 + 40 + 4 * colors; }

// A BMP with a 40-byte info header, bottom row first. The run-length streams use runs of one
// pixel (two in RLE4), end every row with an end-of-line mark and replace the last by the
// end-of-bitmap mark, as common writers do.
inline QByteArray bmp(int width, int height, int bits, int colors, const IndexAt &index,
                      BmpCompression compression = Uncompressed)
{
    QByteArray data;
    for (int y = height - 1; y >= 0; --y) {
        if (compression == Rle8) {
            for (int x = 0; x < width; ++x)
                data += char(1), data += char(index(x, y));
            data += QByteArray("\0\0", 2);
        } else if (compression == Rle4) {
            for (int x = 0; x < width; x += 2) {
                const int second = x + 1 < width ? index(x + 1, y) : 0;
                data += char(x + 1 < width ? 2 : 1), data += char(index(x, y) << 4 | second);
            }
            data += QByteArray("\0\0", 2);
        } else {
            QByteArray row((width * bits + 31) / 32 * 4, 0);
            for (int x = 0; x < width; ++x) {
                const int bit = x * bits;
                row[bit / 8] = char(row[bit / 8] | index(x, y) << (8 - bits - bit % 8));
            }
            data += row;
        }
    }
    if (compression != Uncompressed)
        data[data.size() - 1] = 1;

    QByteArray file(bmpPixelOffset(colors), 0);
    file[0] = 'B';
    file[1] = 'M';
    putLe32(file, 2, quint32(file.size() + data.size()));
    putLe32(file, 10, quint32(bmpPixelOffset(colors)));
    putLe32(file, 14, 40);
    putLe32(file, 18, quint32(width));
    putLe32(file, 22, quint32(height));
    putLe16(file, 26, 1);
    putLe16(file, 28, quint16(bits));
    putLe32(file, 30, quint32(compression));
    putLe32(file, 34, quint32(data.size()));
    putLe32(file, 46, quint32(colors)); // the colour-count field
    const QList<QRgb> table = colourTable(colors);
    for (int i = 0; i < colors; ++i)
        putLe32(file, 54 + 4 * i, table[i] & 0xFFFFFF);
    return file + data;
}

inline QByteArray pngChunk(const char *kind, const QByteArray &data)
{
    static const auto crcTable = [] {
        std::array<quint32, 256> table{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    const QByteArray body = kind + data;
    quint32 crc = 0xFFFFFFFFu;
    for (char c : body)
        crc = crcTable[(crc ^ uchar(c)) & 0xFF] ^ (crc >> 8);
    QByteArray out(4, 0);
    qToBigEndian(quint32(data.size()), out.data());
    out += body;
    out += QByteArray(4, 0);
    qToBigEndian(~crc, out.data() + out.size() - 4);
    return out;
}

// A palette PNG of 4-bit pixels with a colour table of `colors` entries; the pixels may name
// entries the table lacks. claimedWidth/claimedHeight, when set, go into the header instead of
// the real size.
inline QByteArray png4(int width, int height, int colors, const IndexAt &index,
                       int claimedWidth = 0, int claimedHeight = 0)
{
    QByteArray raw;
    for (int y = 0; y < height; ++y) {
        raw += char(0); // no filter
        for (int x = 0; x < width; x += 2)
            raw += char(index(x, y) << 4 | (x + 1 < width ? index(x + 1, y) : 0));
    }
    QByteArray header(13, 0);
    qToBigEndian(quint32(claimedWidth ? claimedWidth : width), header.data());
    qToBigEndian(quint32(claimedHeight ? claimedHeight : height), header.data() + 4);
    header[8] = 4; // bit depth
    header[9] = 3; // palette
    QByteArray palette;
    for (QRgb c : colourTable(colors))
        palette += char(qRed(c)), palette += char(qGreen(c)), palette += char(qBlue(c));
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) + pngChunk("PLTE", palette)
            + pngChunk("IDAT", qCompress(raw).mid(4)) + pngChunk("IEND", {});
}

#endif

#include "kestrine.h"

#include <QDataStream>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <iostream>
#include <vector>

Kestrine::Kestrine(QImage *image, QDataStream *paletteStream, QDataStream *pictureStream,
                   TileMode mode, bool rotate)
    : image(image), pictureStream(pictureStream), paletteStream(paletteStream), rotate(rotate),
      mode(mode)
{
}

Kestrine::~Kestrine() = default;

static bool reject(const char *reason)
{
    std::cerr << "Kestrine::readImage(): " << reason << std::endl;
    return false;
}

bool Kestrine::readImage()
{
    if (image->format() == QImage::Format_Invalid)
        return reject("Unsupported Pictureformat!");
    if (image->format() != QImage::Format_Indexed8)
        return reject("Unsupported Colorformat, only 4 or 16 Colors allowed!");
    numColors = image->colorCount();
    if (numColors != 16 && numColors != 4) {
        std::cerr << "Kestrine::readImage(): Unsupported count of Colors " << numColors
                  << ", only 4 or 16 allowed!" << std::endl;
        return false;
    }
    if (image->width() <= 7 || image->height() <= 7)
        return reject("Picture is to small, lowest size is 8x8 Pixel!");
    return true;
}

bool Kestrine::convertColors()
{
    const int count = mode == FourColor ? 4 : numColors;
    std::cout << "Convert Colors (" << count << " of " << numColors << ")..." << std::endl;
    const QList<QRgb> colors = image->colorTable();
    for (int i = 0; i < count; ++i)
        *paletteStream << qint16(Layout::paletteWord(colors.at(i)));
    return paletteStream->status() == QDataStream::Ok;
}

void Kestrine::mapPixel(int x, int y, int &sx, int &sy) const
{
    Layout::sourcePixel(rotate, x, y, sx, sy);
}

namespace {

// Encodes one tile row: lines are its eight scanlines, out takes tilesAcross tiles of records.
template <TileMode mode, bool rotate>
void encodeTileRow(const uchar *const lines[Layout::TileSize], int tilesAcross, uchar *out)
{
    for (int tx = 0; tx < tilesAcross; ++tx) {
        quint64 rows[Layout::TileSize];
        for (int y = 0; y < Layout::TileSize; ++y)
            rows[y] = qFromLittleEndian<quint64>(lines[y] + Layout::TileSize * tx);
        if (rotate)
            Layout::turnTile(rows);
        for (int y = 0; y < Layout::TileSize; ++y) {
            const quint32 record = Layout::packedRecord(mode, rows[y]);
            if (Layout::rowBytes(mode) == 4)
                qToLittleEndian<quint32>(record, out);
            else
                qToLittleEndian<quint16>(quint16(record), out);
            out += Layout::rowBytes(mode);
        }
    }
}

using TileRowEncoder = void (*)(const uchar *const *, int, uchar *);

TileRowEncoder tileRowEncoder(TileMode mode, bool rotate)
{
    switch (mode) {
    case Linear:
        return rotate ? encodeTileRow<Linear, true> : encodeTileRow<Linear, false>;
    case Planar:
        return rotate ? encodeTileRow<Planar, true> : encodeTileRow<Planar, false>;
    case FourColor:
        return rotate ? encodeTileRow<FourColor, true> : encodeTileRow<FourColor, false>;
    default:
        return nullptr;
    }
}

} // namespace

bool Kestrine::convertImage()
{
    const int tilesDown = image->height() / 8;
    const int tilesAcross = image->width() / 8;
    std::cout << "Convert Image (" << tilesAcross << "x" << tilesDown << " Tiles with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;
    if (tilesDown == 0 || tilesAcross == 0)
        return true;
    const TileRowEncoder encode = tileRowEncoder(mode, rotate);
    if (!encode)
        return false;
    if (image->format() != QImage::Format_Indexed8)
        return convertByPixel(tilesAcross, tilesDown);

    // A few tile rows at a time: memory stays flat however tall the picture is, and blocks of
    // 64 KiB or more go past the file's own 16 KiB buffer, saving a copy and most system calls.
    const int tileRowBytes = tilesAcross * Layout::tileBytes(mode);
    const int blockRows = std::max(1, std::min(tilesDown, (64 * 1024 + tileRowBytes - 1) / tileRowBytes));
    std::vector<uchar> records(size_t(blockRows) * size_t(tileRowBytes));
    const QImage &picture = *image; // const: reading scanlines must never detach a shared picture
    for (int ty = 0; ty < tilesDown;) {
        uchar *out = records.data();
        for (const int end = std::min(tilesDown, ty + blockRows); ty < end; ++ty) {
            const uchar *lines[Layout::TileSize];
            for (int y = 0; y < Layout::TileSize; ++y)
                lines[y] = picture.constScanLine(Layout::TileSize * ty + y);
            encode(lines, tilesAcross, out);
            out += tileRowBytes;
        }
        pictureStream->writeRawData(reinterpret_cast<const char *>(records.data()),
                                    int(out - records.data()));
        if (pictureStream->status() != QDataStream::Ok)
            return false;
    }
    return true;
}

bool Kestrine::convertByPixel(int tilesAcross, int tilesDown)
{
    for (int ty = 0; ty < tilesDown; ++ty) {
        for (int tx = 0; tx < tilesAcross; ++tx) {
            for (int r = 0; r < 8; ++r) {
                quint64 pixels = 0;
                for (int i = 0; i < Layout::TileSize; ++i) {
                    int sx, sy;
                    mapPixel(i, r, sx, sy);
                    const uint p = uint(image->pixelIndex(8 * tx + sx, 8 * ty + sy));
                    pixels |= quint64(p & 0xFF) << (8 * i);
                }
                uchar record[4];
                qToLittleEndian<quint32>(Layout::packedRecord(mode, pixels), record);
                pictureStream->writeRawData(reinterpret_cast<const char *>(record),
                                            Layout::rowBytes(mode));
                if (pictureStream->status() != QDataStream::Ok)
                    return false;
            }
        }
    }
    return true;
}

// Arbitrary bytes as an input picture: loaded the way the tool loads a file, then converted in
// every layout, with and without the turn, into memory.
#include "drawing.h"
#include "kestrine.h"
#include "picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace {

// Swallows the converter's console lines: they would drown the fuzzer's own report.
class Discard : public std::streambuf
{
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

// A broken promise is a finding like a crash: abort, so that the fuzzer keeps the input.
void check(bool condition)
{
    if (!condition)
        abort();
}

// Decodes the bytes again into a picture of the same size and format whose pixels all hold fill;
// Qt decodes into that memory when it can.
QImage decodeOver(const QByteArray &bytes, const QImage &like, uchar fill)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImage image(like.size(), like.format());
    image.fill(fill);
    QImageReader reader(&buffer);
    reader.read(&image);
    return image;
}

// A pixel that the decoder never wrote keeps whatever the memory held: decoded over two different
// fillings, a picture whose every pixel came from the file comes out the same.
bool everyPixelDecoded(const QByteArray &bytes, const QImage &image)
{
    const QImage zeros = decodeOver(bytes, image, 0x00), ones = decodeOver(bytes, image, 0xFF);
    if (zeros.size() != image.size() || ones.size() != image.size())
        return true; // Qt made pictures of its own: nothing to compare
    for (int y = 0; y < image.height(); ++y) {
        if (memcmp(zeros.constScanLine(y), ones.constScanLine(y), size_t(image.width())) != 0)
            return false;
    }
    return true;
}

// Converts into distinct tiles and a map (mirrors found when flips), with palettes built from the
// picture's colours when palettes is set, then draws the map back: an accepted picture must come
// back as the indexes its layout keeps, or with built palettes as its colours in 12 bits.
void checkMap(QImage &image, TileMode mode, bool rotate, bool flips, int palettes)
{
    QByteArray palette, tiles, map;
    QBuffer paletteBuffer(&palette), tileBuffer(&tiles), mapBuffer(&map);
    paletteBuffer.open(QIODevice::WriteOnly);
    tileBuffer.open(QIODevice::WriteOnly);
    mapBuffer.open(QIODevice::WriteOnly);
    QDataStream paletteStream(&paletteBuffer), pictureStream(&tileBuffer), mapStream(&mapBuffer);
    for (QDataStream *stream : { &paletteStream, &pictureStream, &mapStream })
        stream->setByteOrder(QDataStream::LittleEndian);
    ConvertOptions options;
    options.mapStream = &mapStream;
    options.unique = true;
    options.flips = flips;
    options.palettes = palettes;
    Kestrine kestrine(&image, &paletteStream, &pictureStream, mode, rotate, options);
    if (!kestrine.readImage()) {
        check(palette.isEmpty() && tiles.isEmpty() && map.isEmpty());
        return;
    }
    check(kestrine.convertColors() && kestrine.convertImage() && kestrine.convertMap());
    const int across = image.width() / 8, down = image.height() / 8;
    check(map.size() == 2 * qsizetype(across) * down);
    check(!tiles.isEmpty() && tiles.size() % Layout::tileBytes(mode) == 0 && tiles.size() / Layout::tileBytes(mode) <= TileMap::MaxTiles);

    PaletteColors colors;
    Flaw flaw;
    QImage view;
    check(readPalettes(palette, mode, true, colors, flaw));
    if (!drawMap(tiles, map, mode, rotate, { TileMap::width(across, down, rotate) }, colors, view, flaw))
        return; // an index beyond the colour table, which a BMP may hold
    check(view.size() == QSize(8 * across, 8 * down));
    // Built palettes: unless the picture is indexed with a table that fits one palette.
    const int size = mode == FourColor ? 4 : 16;
    const bool built = palettes && !(image.colorCount() > 0 && image.colorCount() <= size && image.depth() <= 8);
    const uint kept = mode == FourColor ? 3 : 15;
    for (int y = 0; y < view.height(); ++y) {
        for (int x = 0; x < view.width(); ++x) {
            if (!built) {
                check(uint(view.pixelIndex(x, y)) == (uint(image.pixelIndex(x, y)) & kept));
            } else if (const QRgb color = image.pixel(x, y); qAlpha(color) >= 128) {
                const QRgb shown = view.pixel(x, y);
                check(qRed(shown) == (qRed(color) >> 4) * 17 && qGreen(shown) == (qGreen(color) >> 4) * 17
                      && qBlue(shown) == (qBlue(color) >> 4) * 17);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static Discard discard;
    std::cout.rdbuf(&discard);
    std::cerr.rdbuf(&discard);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) { });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QImage image = loadPicture(bytes);

    // Palettes built from the colours take any picture the loader decodes.
    for (TileMode mode : { Linear, Planar, FourColor })
        checkMap(image, mode, mode == Planar, mode != Linear, 16);

    for (TileMode mode : { Linear, Planar, FourColor }) {
        for (bool rotate : { false, true }) {
            QByteArray palette, tiles;
            QBuffer paletteBuffer(&palette), tileBuffer(&tiles);
            paletteBuffer.open(QIODevice::WriteOnly);
            tileBuffer.open(QIODevice::WriteOnly);
            QDataStream paletteStream(&paletteBuffer), pictureStream(&tileBuffer);
            paletteStream.setByteOrder(QDataStream::LittleEndian);
            pictureStream.setByteOrder(QDataStream::LittleEndian);

            Kestrine kestrine(&image, &paletteStream, &pictureStream, mode, rotate);
            if (!kestrine.readImage()) {
                check(palette.isEmpty() && tiles.isEmpty());
                return 0; // the outcome does not depend on the layout
            }
            // A run that succeeds has written exactly what its picture and layout call for.
            check(kestrine.convertColors());
            check(palette.size() == 2 * (mode == FourColor ? 4 : image.colorCount()));
            check(kestrine.convertImage());
            check(tiles.size() == qsizetype(image.width() / 8) * (image.height() / 8) * Layout::tileBytes(mode));
            checkMap(image, mode, rotate, rotate, 0);
        }
    }
    check(everyPixelDecoded(bytes, image));
    return 0;
}

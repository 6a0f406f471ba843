#include "kestrine.h"

#include <QDataStream>
#include <QImage>
#include <QtEndian>

#include <iostream>

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
    for (int i = 0; i < count; ++i) {
        const QRgb c = colors.at(i);
        // 0x0RGB: the top nibble of each channel, alpha dropped.
        const quint16 word = ((c >> 12) & 0xF00) | ((c >> 8) & 0x0F0) | ((c >> 4) & 0x00F);
        *paletteStream << qint16(word);
    }
    return paletteStream->status() == QDataStream::Ok;
}

void Kestrine::mapPixel(int x, int y, int &sx, int &sy) const
{
    if (rotate) {
        sx = y;
        sy = 7 - x;
    } else {
        sx = x;
        sy = y;
    }
}

bool Kestrine::convertImage()
{
    const int tilesDown = image->height() / 8;
    const int tilesAcross = image->width() / 8;
    std::cout << "Convert Image (" << tilesAcross << "x" << tilesDown << " Tiles with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;

    for (int ty = 0; ty < tilesDown; ++ty) {
        for (int tx = 0; tx < tilesAcross; ++tx) {
            for (int r = 0; r < 8; ++r) {
                if (mode != Linear && mode != Planar && mode != FourColor)
                    return false;
                quint32 row = 0;
                for (int i = 0; i < 8; ++i) {
                    int sx, sy;
                    mapPixel(i, r, sx, sy);
                    const quint32 p = quint32(image->pixelIndex(8 * tx + sx, 8 * ty + sy));
                    switch (mode) {
                    case Linear: // nibble i counted from the top; bytes swapped below
                        row |= (p & 0xF) << (4 * (7 - i));
                        break;
                    case Planar: // bit k of p goes to bit 7 - i of byte k
                        row |= (((p & 1) << 7) | ((p & 2) << 14) | ((p & 4) << 21)
                                | ((p & 8) << 28)) >> i;
                        break;
                    default:
                        row |= (((p & 1) << 7) | ((p & 2) << 14)) >> i;
                        break;
                    }
                }
                if (mode == Linear)
                    *pictureStream << qint32(qbswap(row));
                else if (mode == Planar)
                    *pictureStream << qint32(row);
                else
                    *pictureStream << qint16(row);
                if (pictureStream->status() != QDataStream::Ok)
                    return false;
            }
        }
    }
    return true;
}

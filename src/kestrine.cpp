#include "kestrine.h"

#include <QDataStream>
#include <QImage>

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
    for (int i = 0; i < count; ++i)
        *paletteStream << qint16(Layout::paletteWord(colors.at(i)));
    return paletteStream->status() == QDataStream::Ok;
}

void Kestrine::mapPixel(int x, int y, int &sx, int &sy) const
{
    Layout::sourcePixel(rotate, x, y, sx, sy);
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
                uint p[Layout::TileSize];
                for (int i = 0; i < Layout::TileSize; ++i) {
                    int sx, sy;
                    mapPixel(i, r, sx, sy);
                    p[i] = uint(image->pixelIndex(8 * tx + sx, 8 * ty + sy));
                }
                uchar record[4];
                Layout::encodeRow(mode, p, record);
                pictureStream->writeRawData(reinterpret_cast<const char *>(record),
                                            Layout::rowBytes(mode));
                if (pictureStream->status() != QDataStream::Ok)
                    return false;
            }
        }
    }
    return true;
}

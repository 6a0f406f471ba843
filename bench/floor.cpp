// The floor the tool is measured against: load a picture as the tool does and read every pixel
// once. kestrine_floor PICTURE prints the picture's size and the sum of its pixels: the indexes of
// an indexed picture, the 32-bit values of a true-colour one (as Qt decodes RGB and RGBA PNGs).
#include "picture.h"

#include <QImage>
#include <QString>

#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: kestrine_floor PICTURE" << std::endl;
        return 1;
    }
    const QImage image = loadPicture(QString::fromLocal8Bit(argv[1]));
    const bool indexed = image.format() == QImage::Format_Indexed8;
    if (!indexed && image.depth() != 32) {
        std::cerr << "not an 8-bit indexed or 32-bit picture: " << argv[1] << std::endl;
        return 1;
    }
    // Width and height out of the loop: they are calls into Qt, and the floor must be quick.
    const int width = image.width(), height = image.height();
    quint64 sum = 0;
    for (int y = 0; y < height; ++y) {
        if (indexed) {
            const uchar *line = image.constScanLine(y);
            for (int x = 0; x < width; ++x)
                sum += line[x];
        } else {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < width; ++x)
                sum += line[x];
        }
    }
    std::cout << width << "x" << height << " " << sum << std::endl;
    return 0;
}

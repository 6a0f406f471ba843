// The floor the tool is measured against: load a picture as the tool does and read every pixel
// once. kestrine_floor PICTURE prints the picture's size and the sum of its pixel indexes.
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
    if (image.format() != QImage::Format_Indexed8) {
        std::cerr << "not an 8-bit indexed picture: " << argv[1] << std::endl;
        return 1;
    }
    // Width and height out of the loop: they are calls into Qt, and the floor must be quick.
    const int width = image.width(), height = image.height();
    quint64 sum = 0;
    for (int y = 0; y < height; ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < width; ++x)
            sum += line[x];
    }
    std::cout << width << "x" << height << " " << sum << std::endl;
    return 0;
}

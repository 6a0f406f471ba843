// Writes a deterministic busy indexed PNG: kestrine_picture WIDTH HEIGHT COLORS OUTPUT.png
#include <QImage>
#include <QList>

#include <cstdlib>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::cerr << "usage: kestrine_picture WIDTH HEIGHT COLORS OUTPUT.png" << std::endl;
        return 1;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), colors = std::atoi(argv[3]);
    if (width < 8 || height < 8 || (colors != 4 && colors != 16)) {
        std::cerr << "need at least 8x8 and 4 or 16 colours" << std::endl;
        return 1;
    }
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull()) {
        std::cerr << "out of memory" << std::endl;
        return 1;
    }
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << qRgb(i * 255 / (colors - 1), (i * 7 % colors) * 255 / (colors - 1), 255 - i * 255 / (colors - 1));
    image.setColorTable(table);

    // Stripes and blobs with noise on top: busy enough that decoding is real work, the same
    // picture on every machine.
    quint64 state = 0x9E3779B97F4A7C15ull ^ (quint64(width) << 32) ^ quint64(height) ^ quint64(colors);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const int shape = ((x >> 3) * (y >> 4) + (x >> 5) + (y >> 2)) >> 2;
            const int noise = (state & 0x7) == 0 ? int((state >> 8) % quint64(colors)) : 0;
            line[x] = uchar((shape + noise) % colors);
        }
    }
    if (!image.save(QString::fromLocal8Bit(argv[4]), "PNG")) {
        std::cerr << "cannot write " << argv[4] << std::endl;
        return 1;
    }
    return 0;
}

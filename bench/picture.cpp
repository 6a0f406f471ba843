// Writes a deterministic PNG for bench/run: kestrine_picture WIDTH HEIGHT COLORS OUTPUT.png [POOL [PALETTES]]
//   without POOL: a busy indexed picture with COLORS colours, almost every tile distinct;
//   with POOL: an indexed picture of POOL random tiles placed at random, half of them mirrored;
//   with PALETTES too: an RGBA picture of the same kind, each tile drawn from one of PALETTES
//   random palettes of COLORS colours, about one pixel in ten transparent.
#include <QImage>
#include <QList>

#include <array>
#include <cstdlib>
#include <iostream>

namespace {

// xorshift64: the same picture on every machine.
struct Random
{
    quint64 state;
    quint64 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    int below(int n) { return int(next() % quint64(n)); }
};

QList<QRgb> colorTable(int colors)
{
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << qRgb(i * 255 / (colors - 1), (i * 7 % colors) * 255 / (colors - 1), 255 - i * 255 / (colors - 1));
    return table;
}

// Stripes and blobs with noise on top: busy enough that decoding is real work.
QImage busy(int width, int height, int colors, Random &random)
{
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    image.setColorTable(colorTable(colors));
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const quint64 state = random.next();
            const int shape = ((x >> 3) * (y >> 4) + (x >> 5) + (y >> 2)) >> 2;
            const int noise = (state & 0x7) == 0 ? int((state >> 8) % quint64(colors)) : 0;
            line[x] = uchar((shape + noise) % colors);
        }
    }
    return image;
}

// Tiles from a pool placed at random, half of them mirrored one way or both. With palettes, each
// pool tile has a palette of its own and the picture is true colour with alpha.
QImage pooled(int width, int height, int colors, int poolSize, int palettes, Random &random)
{
    QList<std::array<uchar, 64>> pool(poolSize);
    QList<int> paletteOf(poolSize);
    for (int t = 0; t < poolSize; ++t) {
        for (uchar &p : pool[t])
            p = uchar(random.below(colors));
        paletteOf[t] = palettes ? random.below(palettes) : 0;
    }
    QList<QRgb> colours;
    for (int i = 0; i < std::max(palettes, 1) * colors; ++i)
        colours << (palettes ? qRgb(random.below(256), random.below(256), random.below(256)) : colorTable(colors)[i]);
    QImage image(width, height, palettes ? QImage::Format_ARGB32 : QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    if (!palettes)
        image.setColorTable(colours);
    image.fill(0);
    for (int ty = 0; ty < height / 8; ++ty) {
        for (int tx = 0; tx < width / 8; ++tx) {
            const int t = random.below(poolSize);
            const int flip = random.below(2) ? 0 : random.below(4);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const int sx = flip & 1 ? 7 - x : x, sy = flip & 2 ? 7 - y : y;
                    const int p = pool[t][size_t(8 * sy + sx)];
                    if (!palettes)
                        image.scanLine(8 * ty + y)[8 * tx + x] = uchar(p);
                    else // index 0 of every pool tile's palette stands for a transparent pixel
                        reinterpret_cast<QRgb *>(image.scanLine(8 * ty + y))[8 * tx + x] =
                                p % 10 == 0 ? 0 : colours[paletteOf[t] * colors + p];
                }
            }
        }
    }
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5 || argc > 7) {
        std::cerr << "usage: kestrine_picture WIDTH HEIGHT COLORS OUTPUT.png [POOL [PALETTES]]" << std::endl;
        return 1;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), colors = std::atoi(argv[3]);
    const int poolSize = argc > 5 ? std::atoi(argv[5]) : 0, palettes = argc > 6 ? std::atoi(argv[6]) : 0;
    if (width < 8 || height < 8 || colors < 2 || colors > 16 || (argc > 5 && poolSize < 1) || palettes < 0) {
        std::cerr << "need at least 8x8, 2 to 16 colours and a pool of at least one tile" << std::endl;
        return 1;
    }
    Random random{ 0x9E3779B97F4A7C15ull ^ (quint64(width) << 32) ^ quint64(height) ^ quint64(colors)
                   ^ quint64(poolSize) << 16 ^ quint64(palettes) << 24 };
    const QImage image = poolSize ? pooled(width, height, colors, poolSize, palettes, random)
                                  : busy(width, height, colors, random);
    if (image.isNull()) {
        std::cerr << "out of memory" << std::endl;
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(argv[4]), "PNG")) {
        std::cerr << "cannot write " << argv[4] << std::endl;
        return 1;
    }
    return 0;
}

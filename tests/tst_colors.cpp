#include "inmemory.h"
#include "pictures.h"
#include "reference.h"

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(TileMode)

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// Palette words, little-endian, padded with 0x000 to size words.
QByteArray words(QList<int> list, int size)
{
    QByteArray out;
    list.resize(size, 0);
    for (int w : list)
        out += char(w & 0xFF), out += char(w >> 8);
    return out;
}

// An opaque colour whose 12-bit word is w (the low bits of each channel set, to be dropped).
QRgb colorOf(int w) { return qRgb((w >> 8) * 16 + 9, ((w >> 4) & 0xF) * 16 + 3, (w & 0xF) * 16 + 15); }

// A picture of tiles side by side, each given as the words of its pixels (-1: transparent).
QImage tilesOf(const QList<std::function<int(int, int)>> &tiles)
{
    return trueColorImage(8 * int(tiles.size()), 8, [&](int x, int y) {
        const int w = tiles[x / 8](x % 8, y);
        return w < 0 ? qRgba(200, 100, 0, 127) : colorOf(w);
    });
}

ConvertOptions withPalettes(int palettes, bool unique = false, bool flips = false, int paletteBase = 0)
{
    ConvertOptions options;
    options.palettes = palettes;
    options.unique = unique;
    options.flips = flips;
    options.paletteBase = paletteBase;
    return options;
}

} // namespace

class TestColors : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void refused_data();
    void refused();
    void drawnFromKPalettes_data();
    void drawnFromKPalettes();
};

void TestColors::workedExamples_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<TileMode>("mode");
    QTest::addColumn<ConvertOptions>("options");
    QTest::addColumn<QByteArray>("palette");
    QTest::addColumn<QByteArray>("tiles");
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<QByteArray>("line");

    // Transparent pixels take slot 0 (0x000) of every palette; colours follow in order of first
    // appearance, row by row: 0xABC first, then 0x123.
    const QImage clear = tilesOf({ [](int x, int) { return x < 4 ? -1 : 0xABC; },
                                   [](int x, int) { return x < 4 ? 0xABC : 0x123; } });
    QTest::newRow("transparency takes slot 0") << clear << Linear << withPalettes(1) << words({ 0x000, 0xABC, 0x123 }, 16)
                                               << hex("00001111").repeated(8) + hex("11112222").repeated(8) << QByteArray()
                                               << QByteArray("Convert Colors (2 colors in 1 palette)...\n");

    // A table of 7 entries fits: kept as it is, padded to 16 words; the indexes too.
    QImage seven = indexedImage(16, 8, 7, [](int x, int y) { return (x + y) % 7; });
    QTest::newRow("a short table is kept") << seven << Planar << withPalettes(4)
                                           << Reference::palette(seven.colorTable(), 7) + QByteArray(18, 0)
                                           << Reference::tiles(seven, Planar, false) << QByteArray()
                                           << QByteArray("Convert Colors (7 colors in 1 palette)...\n");
    QImage fourOfFour = indexedImage(8, 8, 4, [](int x, int) { return 3 - x % 4; });
    QTest::newRow("4 colour: a table of 4 is kept") << fourOfFour << FourColor << withPalettes(1)
                                                    << Reference::palette(fourOfFour.colorTable(), 4)
                                                    << Reference::tiles(fourOfFour, FourColor, false) << QByteArray()
                                                    << QByteArray("Convert Colors (4 colors in 1 palette)...\n");

    // Tiles whose pixel i has colour first + i % count, and the records of their indexes.
    const auto cycle = [](int first, int count) { return [=](int x, int y) { return first + (x + 8 * y) % count; }; };
    const auto cycleRecord = [](int first, int count, TileMode mode) {
        Reference::Tile tile;
        for (int i = 0; i < 64; ++i)
            tile[size_t(i)] = first + i % count;
        return Reference::record(tile, mode);
    };
    const auto run = [](int first, int count) {
        QList<int> list;
        for (int i = 0; i < count; ++i)
            list << first + i;
        return list;
    };
    // 10 and 10 colours, 5 of them shared: 15 in all fit one palette of 16.
    QTest::newRow("two tiles sharing colours, one palette")
            << tilesOf({ cycle(0x100, 10), cycle(0x105, 10) }) << Linear << withPalettes(2) << words(run(0x100, 15), 16)
            << cycleRecord(0, 10, Linear) + cycleRecord(5, 10, Linear) << QByteArray()
            << QByteArray("Convert Colors (15 colors in 1 palette)...\n");
    // 12 and 12 colours, 4 shared: 20 in all need two palettes, the second tile's in its own.
    QTest::newRow("two tiles sharing colours, two palettes")
            << tilesOf({ cycle(0x200, 12), cycle(0x208, 12) }) << Planar << withPalettes(2)
            << words(run(0x200, 12), 16) + words(run(0x208, 12), 16)
            << cycleRecord(0, 12, Planar) + cycleRecord(0, 12, Planar) << hex("0000 0102")
            << QByteArray("Convert Colors (20 colors in 2 palettes)...\n");

    // The same indexes in other colours are one tile, told apart by the map; mirrored too.
    const auto pattern = [](int x, int y) { return (x * 3 + y) % 9; };
    const auto swapped = [&](int base, bool mirror) {
        return [=](int x, int y) { return base + pattern(mirror ? 7 - x : x, y); };
    };
    QList<int> order; // the pattern's values in order of first appearance, row by row
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (!order.contains(pattern(x, y)))
                order << pattern(x, y);
    QList<int> low, high;
    for (int v : order)
        low << 0x300 + v, high << 0x400 + v;
    Reference::Tile indexes;
    for (int i = 0; i < 64; ++i)
        indexes[size_t(i)] = int(order.indexOf(pattern(i % 8, i / 8)));
    QTest::newRow("a palette swap found by --flips")
            << tilesOf({ swapped(0x300, false), swapped(0x400, false), swapped(0x400, true) }) << Linear
            << withPalettes(3, true, true, 5) << words(low, 16) + words(high, 16) << Reference::record(indexes, Linear)
            << hex("000A 000C 004C") << QByteArray("Convert Colors (18 colors in 2 palettes)...\n");

    // 16 bits a channel: the top four bits of each, not of the value rounded to 8 bits (0x0FFF
    // rounds to 0x10); alpha below half is transparent.
    QImage wide(8, 8, QImage::Format_RGBA64);
    wide.fill(QColor::fromRgba64(0x0FFF, 0x1000, 0xF7FF, 0xFFFF));
    wide.setPixelColor(7, 7, QColor::fromRgba64(0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF));
    QTest::newRow("16 bits a channel") << wide << Linear << withPalettes(1) << words({ 0x000, 0x01F }, 16)
                                       << hex("11111111").repeated(7) + hex("11111110") << QByteArray()
                                       << QByteArray("Convert Colors (1 color in 1 palette)...\n");
}

void TestColors::workedExamples()
{
    QFETCH(QImage, image);
    QFETCH(TileMode, mode);
    QFETCH(ConvertOptions, options);
    QFETCH(QByteArray, palette);
    QFETCH(QByteArray, tiles);
    QFETCH(QByteArray, map);
    QFETCH(QByteArray, line);

    Run run(image, mode, false, options, !map.isEmpty());
    Console console;
    QVERIFY(run.all());
    QCOMPARE(QString::fromStdString(console.err.str()), QString());
    QCOMPARE(run.palette.toHex(' '), palette.toHex(' '));
    QCOMPARE(run.tiles.toHex(' '), tiles.toHex(' '));
    QCOMPARE(run.map.toHex(' '), map.toHex(' '));
    QVERIFY2(console.out.str().rfind(line.toStdString(), 0) == 0, console.out.str().c_str());
}

void TestColors::refused_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<TileMode>("mode");
    QTest::addColumn<ConvertOptions>("options");
    QTest::addColumn<QByteArray>("error");

    const auto many = [](int count) { return [count](int x, int y) { return 0x500 + (x + 8 * y) % count; }; };
    const auto flat = [](int x, int) { return 0x111 * (1 + x % 2); };
    QTest::newRow("17 colors in a tile") << tilesOf({ flat, many(17) }) << Linear << withPalettes(16)
                                         << QByteArray("Kestrine: tile at cell (1, 0) has 17 colors, a palette holds 16!\n");
    QTest::newRow("16 colors and transparency") << tilesOf({ [](int, int) { return -1; }, many(16) }) << Planar << withPalettes(16)
                                                << QByteArray("Kestrine: tile at cell (1, 0) has 16 colors, a palette holds 15 besides the transparent slot!\n");
    QTest::newRow("4 colour: 5 colors in a tile") << tilesOf({ many(5) }) << FourColor << withPalettes(1)
                                                  << QByteArray("Kestrine: tile at cell (0, 0) has 5 colors, a palette holds 4!\n");
    const auto dozen = [](int first) { return [first](int x, int y) { return 0x200 + first + (x + 8 * y) % 12; }; };
    QTest::newRow("two palettes needed, one allowed") << tilesOf({ dozen(0), dozen(8) }) << Linear << withPalettes(1)
                                                      << QByteArray("Kestrine: the tiles need 2 palettes of 16 colors, more than --palettes 1 allows!\n");
    QTest::newRow("two palettes from palette base 15") << tilesOf({ dozen(0), dozen(8) }) << Linear << withPalettes(2, false, false, 15)
                                                       << QByteArray("Kestrine: 2 palettes do not fit in a map from palette base 15: a map names palettes 0 to 15!\n");
    QTest::newRow("too small") << tilesOf({ flat }).copy(0, 0, 8, 7) << Linear << withPalettes(1)
                               << QByteArray("Kestrine::readImage(): Picture is to small, lowest size is 8x8 Pixel!\n");
    QTest::newRow("not loaded") << QImage() << Linear << withPalettes(1) << QByteArray("Kestrine::readImage(): Unsupported Pictureformat!\n");
}

// Refused with one line, before anything is written.
void TestColors::refused()
{
    QFETCH(QImage, image);
    QFETCH(TileMode, mode);
    QFETCH(ConvertOptions, options);
    QFETCH(QByteArray, error);

    Run run(image, mode, false, options, true);
    Console console;
    QVERIFY(!run.all());
    QCOMPARE(QByteArray::fromStdString(console.err.str()), error);
    QVERIFY(console.out.str().empty());
    QVERIFY(run.palette.isEmpty() && run.tiles.isEmpty() && run.map.isEmpty());
}

void TestColors::drawnFromKPalettes_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 120; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Pictures drawn from K random palettes, each tile a random part of one, some pixels transparent,
// in every layout, turned or not: at most K palettes, in order of their first tile, colours in
// order of first appearance, and decoded back every opaque pixel is its own 12-bit colour.
void TestColors::drawnFromKPalettes()
{
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    const TileMode mode = TileMode(seed % 3);
    const bool rotate = seed / 3 % 2;
    const bool transparency = seed % 4 < 2;
    const int size = mode == FourColor ? 4 : 16;
    const int k = random.bounded(1, 9);
    const int across = random.bounded(1, 20), down = random.bounded(1, 20);
    const QImage image = paletteDrawnImage(random, across, down, k, size - transparency, transparency);
    ConvertOptions options = withPalettes(16, seed % 5 < 3, seed % 5 < 2, random.bounded(16 - k + 1));
    options.tileBase = random.bounded(1024 - across * down + 1);
    Run run(image, mode, rotate, options, true);
    {
        Console console;
        QVERIFY2(run.all(), console.err.str().c_str());
    }
    const QString context = QString("%1x%2 cells, K = %3, mode %4%5").arg(across).arg(down).arg(k).arg(mode).arg(rotate ? ", turned" : "");
    const int palettes = int(run.palette.size()) / (2 * size);
    QVERIFY2(palettes >= 1 && palettes <= k, qPrintable(context + QString(": %1 palettes").arg(palettes)));

    const QList<int> decoded = Reference::decodedWords(run.tiles, run.palette, run.map, mode, rotate, across, down,
                                                       options.tileBase, options.paletteBase, transparency);
    // Palettes in order of first use, colours within each in order of first appearance.
    QList<QList<int>> seen(palettes);
    int nextPalette = 0;
    for (int cell = 0; cell < across * down; ++cell) {
        const int i = rotate ? (cell % across) * down + (down - 1 - cell / across) : cell; // the map index of the cell
        const int entry = uchar(run.map[2 * i]) | uchar(run.map[2 * i + 1]) << 8;
        const int palette = ((entry >> 9) & 0xF) - options.paletteBase;
        QVERIFY2(palette <= nextPalette, qPrintable(context + QString(": palette %1 first at cell %2").arg(palette).arg(cell)));
        nextPalette = qMax(nextPalette, palette + 1);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int px = 8 * (cell % across) + x, py = 8 * (cell / across) + y;
                const QRgb color = image.pixel(px, py);
                const int word = decoded[py * 8 * across + px];
                if (qAlpha(color) < 128) {
                    QVERIFY2(word == -1, qPrintable(context + QString(": transparent pixel %1,%2 decoded as %3").arg(px).arg(py).arg(word)));
                    continue;
                }
                const int expected = (qRed(color) >> 4) << 8 | (qGreen(color) >> 4) << 4 | qBlue(color) >> 4;
                QVERIFY2(word == expected, qPrintable(context + QString(": pixel %1,%2 is %3, not %4").arg(px).arg(py).arg(word, 0, 16).arg(expected, 0, 16)));
                if (!seen[palette].contains(word))
                    seen[palette] << word;
            }
        }
    }
    for (int p = 0; p < palettes; ++p) {
        QList<int> stored;
        for (int slot = transparency; slot < transparency + seen[p].size(); ++slot)
            stored << (uchar(run.palette[2 * (p * size + slot)]) | uchar(run.palette[2 * (p * size + slot) + 1]) << 8);
        QVERIFY2(stored == seen[p], qPrintable(context + QString(": palette %1 out of order").arg(p)));
        for (int slot = transparency + int(seen[p].size()); slot < size; ++slot)
            QCOMPARE(run.palette.mid(2 * (p * size + slot), 2), QByteArray(2, 0));
    }
}

QTEST_GUILESS_MAIN(TestColors)
#include "tst_colors.moc"

#include "drawing.h"
#include "inmemory.h"
#include "pictures.h"
#include "reference.h"
#include "tileset.h"

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(TileMode)

namespace {

const char *const modeNames[] = { "linear", "planar", "four-colour" };

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// A 16x8 picture of two tiles: the left one from left(x, y), the right one from right(x, y).
QImage twoTiles(const IndexAt &left, const IndexAt &right, int colors = 16)
{
    return indexedImage(16, 8, colors, [&](int x, int y) { return x < 8 ? left(x, y) : right(x - 8, y); });
}

} // namespace

class TestTileSet : public QObject
{
    Q_OBJECT

private slots:
    void mapEntry_data();
    void mapEntry();
    void mirrorTile_data();
    void mirrorTile();
    void workedExamples_data();
    void workedExamples();
    void matchesReference_data();
    void matchesReference();
    void roundTrip_data();
    void roundTrip();
    void mapLimit_data();
    void mapLimit();
};

void TestTileSet::mapEntry_data()
{
    QTest::addColumn<int>("tile");
    QTest::addColumn<int>("palette");
    QTest::addColumn<bool>("mirrorX");
    QTest::addColumn<bool>("mirrorY");
    QTest::addColumn<int>("entry");

    QTest::newRow("zero") << 0 << 0 << false << false << 0x0000;
    QTest::newRow("tile 511") << 511 << 0 << false << false << 0x01FF;
    QTest::newRow("tile 512: its bit 9 in bit 13") << 512 << 0 << false << false << 0x2000;
    QTest::newRow("palette 3, left-right") << 5 << 3 << true << false << 0x4605;
    QTest::newRow("top-bottom") << 5 << 0 << false << true << 0x8005;
    QTest::newRow("every bit") << 1023 << 15 << true << true << 0xFFFF;
}

void TestTileSet::mapEntry()
{
    QFETCH(int, tile);
    QFETCH(int, palette);
    QFETCH(bool, mirrorX);
    QFETCH(bool, mirrorY);
    QFETCH(int, entry);

    QCOMPARE(int(TileMap::entry(tile, palette, mirrorX, mirrorY)), entry);
    const TileMap::Cell cell = TileMap::cell(quint16(entry));
    QCOMPARE(cell.tile, tile);
    QCOMPARE(cell.palette, palette);
    QCOMPARE(cell.mirrorX, mirrorX);
    QCOMPARE(cell.mirrorY, mirrorY);
}

void TestTileSet::mirrorTile_data()
{
    QTest::addColumn<TileMode>("mode");
    QTest::addColumn<bool>("leftRight");
    QTest::addColumn<bool>("topBottom");

    for (TileMode mode : { Linear, Planar, FourColor })
        for (const auto &[leftRight, topBottom] : { std::pair{ true, false }, { false, true }, { true, true } })
            QTest::addRow("%s%s%s", modeNames[mode], leftRight ? ", left-right" : "", topBottom ? ", top-bottom" : "")
                    << mode << leftRight << topBottom;
}

// Mirroring a record is mirroring the pixels, then encoding them.
void TestTileSet::mirrorTile()
{
    QFETCH(TileMode, mode);
    QFETCH(bool, leftRight);
    QFETCH(bool, topBottom);

    QRandomGenerator random(uint(mode) * 4 + leftRight + 2 * topBottom);
    for (int i = 0; i < 100; ++i) {
        Reference::Tile tile;
        for (int &p : tile)
            p = random.bounded(16);
        const QByteArray record = Reference::record(tile, mode);
        QByteArray mirror(record.size(), 0);
        Layout::mirrorTile(mode, reinterpret_cast<const uchar *>(record.constData()), leftRight, topBottom,
                           reinterpret_cast<uchar *>(mirror.data()));
        QCOMPARE(mirror.toHex(' '), Reference::record(Reference::mirrored(tile, leftRight, topBottom), mode).toHex(' '));
    }
}

void TestTileSet::workedExamples_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<TileMode>("mode");
    QTest::addColumn<bool>("rotate");
    QTest::addColumn<bool>("unique");
    QTest::addColumn<bool>("flips");
    QTest::addColumn<int>("tileBase");
    QTest::addColumn<int>("paletteBase");
    QTest::addColumn<QByteArray>("map");
    QTest::addColumn<int>("tiles");
    QTest::addColumn<QByteArray>("line"); // the line after "Convert Image", if any

    const auto zero = [](int, int) { return 0; };
    const auto symmetric = [](int x, int y) { return x == y || x == 7 - y ? 3 : 1; };
    const auto corners = [](int x, int y) { return (x == 0 && y == 0) || (x == 7 && y == 7) ? 2 : 0; };
    const auto otherCorners = [](int x, int y) { return (x == 7 && y == 0) || (x == 0 && y == 7) ? 2 : 0; };
    const auto topLeft = [](int x, int y) { return x == 0 && y == 0 ? 1 : 0; };
    const auto bottomRight = [](int x, int y) { return x == 7 && y == 7 ? 1 : 0; };
    const auto topRow = [](int, int y) { return y == 0 ? 1 : 0; };
    const auto bottomRow = [](int, int y) { return y == 7 ? 1 : 0; };

    QTest::newRow("a symmetric tile matches itself as it is")
            << twoTiles(symmetric, symmetric) << Planar << false << true << true << 0 << 0
            << hex("0000 0000") << 1 << QByteArray("Unique Tiles (1 of 2, 0 found mirrored) ...\n");
    // Mirrored either way the two corners land on the other two: left-right is tried first.
    QTest::newRow("left-right wins over top-bottom")
            << twoTiles(corners, otherCorners) << Linear << false << true << true << 0 << 0
            << hex("0000 0040") << 1 << QByteArray("Unique Tiles (1 of 2, 1 found mirrored) ...\n");
    QTest::newRow("top-bottom")
            << twoTiles(topRow, bottomRow) << Planar << false << false << true << 0 << 0
            << hex("0000 0080") << 1 << QByteArray("Unique Tiles (1 of 2, 1 found mirrored) ...\n");
    QTest::newRow("both ways")
            << twoTiles(topLeft, bottomRight) << FourColor << false << false << true << 0 << 0
            << hex("0000 00C0") << 1 << QByteArray("Unique Tiles (1 of 2, 1 found mirrored) ...\n");
    QTest::newRow("without --flips a mirror image is a tile of its own")
            << twoTiles(topLeft, bottomRight) << FourColor << false << true << false << 0 << 0
            << hex("0000 0100") << 2 << QByteArray("Unique Tiles (2 of 2) ...\n");
    QTest::newRow("4 colour: indexes equal modulo 4 are one tile")
            << twoTiles([](int, int) { return 1; }, [](int, int) { return 5; }) << FourColor << false << true << false << 0 << 0
            << hex("0000 0000") << 1 << QByteArray("Unique Tiles (1 of 2) ...\n");
    QTest::newRow("linear: the same indexes are two tiles")
            << twoTiles([](int, int) { return 1; }, [](int, int) { return 5; }) << Linear << false << true << false << 0 << 0
            << hex("0000 0100") << 2 << QByteArray("Unique Tiles (2 of 2) ...\n");

    const QImage four = indexedImage(16, 16, 16, [](int x, int y) { return (y / 8) * 2 + x / 8; });
    QTest::newRow("without --unique cell i is tile i, from the bases")
            << four << Linear << false << false << false << 10 << 2
            << hex("0A04 0B04 0C04 0D04") << 4 << QByteArray();
    // Cells 0 1 / 2 3 turned a quarter turn clockwise read 2 0 / 3 1.
    QTest::newRow("turned: the map is the picture turned")
            << four << Linear << true << false << false << 0 << 0
            << hex("0200 0000 0300 0100") << 4 << QByteArray();
    QTest::newRow("turned: a 3x1 picture makes a 1x3 map")
            << indexedImage(24, 8, 16, [](int x, int) { return x / 8; }) << Planar << true << true << false << 0 << 0
            << hex("0000 0100 0200") << 3 << QByteArray("Unique Tiles (3 of 3) ...\n");
    QTest::newRow("tile 1023: bit 9 of the number in bit 13")
            << indexedImage(8, 8, 4, zero) << Planar << false << true << true << 1023 << 15
            << hex("FF3F") << 1 << QByteArray("Unique Tiles (1 of 1, 0 found mirrored) ...\n");
}

// Maps written out by hand; the tile data against the reference.
void TestTileSet::workedExamples()
{
    QFETCH(QImage, image);
    QFETCH(TileMode, mode);
    QFETCH(bool, rotate);
    QFETCH(bool, unique);
    QFETCH(bool, flips);
    QFETCH(int, tileBase);
    QFETCH(int, paletteBase);
    QFETCH(QByteArray, map);
    QFETCH(int, tiles);
    QFETCH(QByteArray, line);

    ConvertOptions options;
    options.unique = unique;
    options.flips = flips;
    options.tileBase = tileBase;
    options.paletteBase = paletteBase;
    Run run(image, mode, rotate, options, true);
    Console console;
    QVERIFY(run.all());
    QCOMPARE(run.map.toHex(' '), map.toHex(' '));
    const Reference::TilesAndMap expected = Reference::tilesAndMap(image, mode, rotate, { unique, flips, tileBase, paletteBase });
    QCOMPARE(run.tiles.toHex(' '), expected.tiles.toHex(' '));
    QCOMPARE(run.tiles.size(), tiles * Layout::tileBytes(mode));
    const std::string out = console.out.str();
    QCOMPARE(QByteArray::fromStdString(out.substr(out.find(") ...\n") + 6)), line);
    QVERIFY(console.err.str().empty());
}

void TestTileSet::matchesReference_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 60; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Pictures made of a few tiles placed with random mirrors, in every layout, turned or not, with
// every kind of map: the same bytes as the reference, and the same counts on the console.
void TestTileSet::matchesReference()
{
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    const TileMode mode = TileMode(seed % 3);
    const bool rotate = seed % 2;
    const int colors = seed % 5 ? 16 : 4;
    const QImage image = pooledImage(random, random.bounded(1, 12), random.bounded(1, 12), colors,
                                     random.bounded(2, colors + 1), random.bounded(1, 8));
    Reference::MapRequest request;
    request.unique = seed % 4 != 0;
    request.flips = seed % 4 >= 2;
    request.tileBase = random.bounded(2) ? random.bounded(900) : 0;
    request.paletteBase = random.bounded(16);

    ConvertOptions options;
    options.unique = request.unique;
    options.flips = request.flips;
    options.tileBase = request.tileBase;
    options.paletteBase = request.paletteBase;
    Run run(image, mode, rotate, options, true);
    Console console;
    QVERIFY(run.all());
    const Reference::TilesAndMap expected = Reference::tilesAndMap(image, mode, rotate, request);
    const QString context = QString("%1x%2 %3%4").arg(image.width()).arg(image.height()).arg(modeNames[mode]).arg(rotate ? " turned" : "");
    QVERIFY2(run.tiles == expected.tiles, qPrintable(context + ": tile data differs"));
    QVERIFY2(run.map == expected.map, qPrintable(context + ": map differs"));
    QCOMPARE(run.palette, Reference::palette(image.colorTable(), mode == FourColor ? 4 : colors));
    if (request.unique) {
        const std::string counts = "Unique Tiles (" + std::to_string(expected.distinct) + " of "
                + std::to_string((image.width() / 8) * (image.height() / 8))
                + (request.flips ? ", " + std::to_string(expected.mirrored) + " found mirrored" : "") + ") ...\n";
        QVERIFY2(console.out.str().find(counts) != std::string::npos, console.out.str().c_str());
    }
}

void TestTileSet::roundTrip_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 48; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Converted with a map and drawn back with the same numbers, a picture is its whole tiles again,
// each pixel in its colour reduced to 12 bits.
void TestTileSet::roundTrip()
{
    QFETCH(quint32, seed);

    QRandomGenerator random(seed + 1000);
    const TileMode mode = TileMode(seed % 3);
    const bool rotate = seed / 3 % 2;
    const int colors = seed % 4 ? 16 : 4;
    const QImage image = pooledImage(random, random.bounded(1, 10), random.bounded(1, 10), colors,
                                     mode == FourColor ? 4 : colors, random.bounded(1, 6));
    ConvertOptions options;
    options.unique = seed % 3 != 1;
    options.flips = seed % 2;
    options.tileBase = random.bounded(1024 - 100);
    options.paletteBase = random.bounded(16);
    Run run(image, mode, rotate, options, true);
    {
        Console console;
        QVERIFY(run.all());
    }

    const int across = image.width() / 8, down = image.height() / 8;
    PaletteColors palettes;
    QImage view;
    Flaw flaw;
    const MapNumbers numbers{ TileMap::width(across, down, rotate), options.tileBase, options.paletteBase };
    {
        Console console;
        QVERIFY(readPalettes(run.palette, mode, true, palettes, flaw));
        QVERIFY2(drawMap(run.tiles, run.map, mode, rotate, numbers, palettes, view, flaw), flaw.what.c_str());
    }
    QCOMPARE(view.size(), QSize(8 * across, 8 * down));
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            if (view.pixel(x, y) != Reference::widened(image.pixel(x, y)))
                QFAIL(qPrintable(QString("pixel %1,%2 differs").arg(x).arg(y)));
}

void TestTileSet::mapLimit_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("map");
    QTest::addColumn<bool>("unique");
    QTest::addColumn<int>("tileBase");
    QTest::addColumn<QByteArray>("error");

    const auto flat = [](int, int) { return 1; };
    const auto distinct = [](int x, int y) { return (x / 8 + y) % 16; }; // 16 distinct tiles, repeated
    QTest::newRow("1024 cells") << indexedImage(8 * 1024, 8, 4, flat) << true << false << 0 << QByteArray();
    QTest::newRow("1025 cells") << indexedImage(8 * 1025, 8, 4, flat) << true << false << 0
                                << QByteArray("Kestrine: 1025 tiles do not fit in a map from tile base 0: a map names tiles 0 to 1023 (--unique keeps each distinct tile once)!\n");
    QTest::newRow("1025 cells, one distinct tile") << indexedImage(8 * 1025, 8, 4, flat) << true << true << 0 << QByteArray();
    QTest::newRow("16 distinct tiles from 1008") << indexedImage(8 * 40, 8, 16, distinct) << true << true << 1008 << QByteArray();
    QTest::newRow("16 distinct tiles from 1009") << indexedImage(8 * 40, 8, 16, distinct) << true << true << 1009
                                                 << QByteArray("Kestrine: 16 distinct tiles do not fit in a map from tile base 1009: a map names tiles 0 to 1023!\n");
    QTest::newRow("1025 cells without a map") << indexedImage(8 * 1025, 8, 4, flat) << false << false << 0 << QByteArray();
}

// A map names at most 1024 tiles: past that, nothing is written and one line says why.
void TestTileSet::mapLimit()
{
    QFETCH(QImage, image);
    QFETCH(bool, map);
    QFETCH(bool, unique);
    QFETCH(int, tileBase);
    QFETCH(QByteArray, error);

    ConvertOptions options;
    options.unique = unique;
    options.tileBase = tileBase;
    Run run(image, Planar, false, options, map);
    Console console;
    QCOMPARE(run.all(), error.isEmpty());
    QCOMPARE(QByteArray::fromStdString(console.err.str()), error);
    if (!error.isEmpty())
        QVERIFY(run.palette.isEmpty() && run.tiles.isEmpty() && run.map.isEmpty() && console.out.str().empty());
}

QTEST_GUILESS_MAIN(TestTileSet)
#include "tst_tileset.moc"

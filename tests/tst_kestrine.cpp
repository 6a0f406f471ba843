#include "inmemory.h"
#include "kestrine.h"
#include "pictures.h"
#include "reference.h"

#include <QDataStream>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <iostream>
#include <sstream>

// A device that takes the first room bytes, then refuses every write, as a disk that fills up.
class DiskFull : public QIODevice
{
public:
    explicit DiskFull(qint64 room = 0) : room(room) { }
    QByteArray taken;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (size > room - taken.size())
            return -1;
        taken.append(data, size);
        return size;
    }

private:
    qint64 room;
};

static QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

class TestKestrine : public QObject
{
    Q_OBJECT

private slots:
    void readImage_data();
    void readImage();
    void convertColors_data();
    void convertColors();
    void paletteWord_data();
    void paletteWord();
    void convertImage_data();
    void convertImage();
    void progressLine_data();
    void progressLine();
    void matchesPixelByPixel_data();
    void matchesPixelByPixel();
    void unknownModeWritesNothing_data();
    void unknownModeWritesNothing();
    void failedStreamIsReported_data();
    void failedStreamIsReported();
};

void TestKestrine::readImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("error");

    const auto zero = [](int, int) { return 0; };
    const QString colorCount = "Kestrine::readImage(): Unsupported count of Colors %1, only 4 or 16 allowed!\n";
    const QString tooSmall = "Kestrine::readImage(): Picture is to small, lowest size is 8x8 Pixel!\n";
    const QString colorFormat = "Kestrine::readImage(): Unsupported Colorformat, only 4 or 16 Colors allowed!\n";

    QTest::newRow("null picture") << QImage() << "Kestrine::readImage(): Unsupported Pictureformat!\n";
    QTest::newRow("true colour") << QImage(8, 8, QImage::Format_RGB32) << colorFormat;
    QTest::newRow("1-bit, also too small") << QImage(4, 4, QImage::Format_Mono) << colorFormat;
    QTest::newRow("grey 8-bit") << QImage(8, 8, QImage::Format_Grayscale8) << colorFormat;
    for (int count : { 2, 3, 5, 8, 15, 17, 256 })
        QTest::addRow("%d colours, size not examined", count) << indexedImage(2, 2, count, zero) << colorCount.arg(count);
    QTest::newRow("4 colours 8x8") << indexedImage(8, 8, 4, zero) << QString();
    QTest::newRow("16 colours 12x9") << indexedImage(12, 9, 16, zero) << QString();
    QTest::newRow("7x8") << indexedImage(7, 8, 16, zero) << tooSmall;
    QTest::newRow("8x7") << indexedImage(8, 7, 4, zero) << tooSmall;
    QTest::newRow("7x7 gives one line") << indexedImage(7, 7, 16, zero) << tooSmall;
}

void TestKestrine::readImage()
{
    QFETCH(QImage, image);
    QFETCH(QString, error);

    for (TileMode mode : { Linear, Planar, FourColor }) {
        for (bool rotate : { false, true }) {
            Run run(image, mode, rotate);
            Console console;
            QCOMPARE(run.kestrine.readImage(), error.isEmpty());
            QCOMPARE(QString::fromStdString(console.err.str()), error);
            QVERIFY(console.out.str().empty());
            QVERIFY(run.palette.isEmpty() && run.tiles.isEmpty());
        }
    }
}

void TestKestrine::convertColors_data()
{
    QTest::addColumn<int>("colors");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("size");

    QTest::newRow("16 linear") << 16 << int(Linear) << "Convert Colors (16 of 16)...\n" << 32;
    QTest::newRow("16 planar") << 16 << int(Planar) << "Convert Colors (16 of 16)...\n" << 32;
    QTest::newRow("16 four-colour") << 16 << int(FourColor) << "Convert Colors (4 of 16)...\n" << 8;
    QTest::newRow("4 linear") << 4 << int(Linear) << "Convert Colors (4 of 4)...\n" << 8;
    QTest::newRow("4 four-colour") << 4 << int(FourColor) << "Convert Colors (4 of 4)...\n" << 8;
}

void TestKestrine::convertColors()
{
    QFETCH(int, colors);
    QFETCH(int, mode);
    QFETCH(QString, line);
    QFETCH(int, size);

    QImage image = indexedImage(8, 8, colors, [](int, int) { return 0; });
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << qRgb(i * 0x11, (15 - i) * 0x11, (i ^ 5) * 0x11);
    image.setColorTable(table);
    Run run(image, TileMode(mode), false);
    Console console;
    QVERIFY(run.kestrine.readImage());
    QVERIFY(run.kestrine.convertColors());
    QCOMPARE(QString::fromStdString(console.out.str()), line);
    QCOMPARE(run.palette.size(), size);
    for (int i = 0; i < size / 2; ++i) {
        QCOMPARE(quint8(run.palette[2 * i]), quint8(((15 - i) << 4) | (i ^ 5)));
        QCOMPARE(quint8(run.palette[2 * i + 1]), quint8(i));
    }
    QVERIFY(run.tiles.isEmpty());
}

void TestKestrine::paletteWord_data()
{
    QTest::addColumn<QRgb>("color");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("black") << QRgb(0xFF000000) << hex("0000");
    QTest::newRow("white") << QRgb(0xFFFFFFFF) << hex("FF0F");
    QTest::newRow("red") << QRgb(0xFFFF0000) << hex("000F");
    QTest::newRow("green") << QRgb(0xFF00FF00) << hex("F000");
    QTest::newRow("blue") << QRgb(0xFF0000FF) << hex("0F00");
    QTest::newRow("80 grey") << QRgb(0xFF808080) << hex("8808");
    QTest::newRow("7F grey drops, never rounds") << QRgb(0xFF7F7F7F) << hex("7707");
    QTest::newRow("low bits only") << QRgb(0xFF0F0F0F) << hex("0000");
    QTest::newRow("102030") << QRgb(0xFF102030) << hex("2301");
    QTest::newRow("F0E0D0") << QRgb(0xFFF0E0D0) << hex("ED0F");
    QTest::newRow("alpha 00 ignored") << QRgb(0x00123456) << hex("3501");
    QTest::newRow("alpha 80 ignored") << QRgb(0x80FFFFFF) << hex("FF0F");
}

void TestKestrine::paletteWord()
{
    QFETCH(QRgb, color);
    QFETCH(QByteArray, bytes);

    QImage image = indexedImage(8, 8, 4, [](int, int) { return 0; });
    image.setColor(2, color);
    Run run(image, Linear, false);
    Console console;
    QVERIFY(run.kestrine.readImage() && run.kestrine.convertColors());
    QCOMPARE(run.palette.mid(4, 2), bytes);
}

void TestKestrine::convertImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("rotate");
    QTest::addColumn<QByteArray>("tiles");

    const auto column = [](int x, int) { return x; };
    const auto topRow = [](int, int y) { return y == 0 ? 1 : 0; };
    const auto topLeft = [](int x, int y) { return x == 0 && y == 0 ? 1 : 0; };
    const auto mixed = [](int x, int) { return QList<int>{ 13, 14, 7, 4, 5, 6, 15, 12 }.at(x); };
    const auto rows = [](const QList<QByteArray> &records) {
        QByteArray out;
        for (const QByteArray &record : records)
            out += record;
        return out;
    };
    const auto repeat = [](const char *record, int times) { return hex(record).repeated(times); };

    QList<QByteArray> linearTurned, planarTurned, fourTurned;
    for (int r = 0; r < 8; ++r) {
        linearTurned << QByteArray(4, char(r * 17));
        planarTurned << QByteArray{ r & 1 ? "\xFF" : "\0", 1 } + QByteArray{ r & 2 ? "\xFF" : "\0", 1 }
                        + QByteArray{ r & 4 ? "\xFF" : "\0", 1 } + QByteArray(1, '\0');
        fourTurned << planarTurned.last().left(2);
    }

    QTest::newRow("column index, linear") << indexedImage(8, 8, 16, column) << int(Linear) << false << repeat("01234567", 8);
    QTest::newRow("column index, linear turned") << indexedImage(8, 8, 16, column) << int(Linear) << true << rows(linearTurned);
    QTest::newRow("column index, planar") << indexedImage(8, 8, 16, column) << int(Planar) << false << repeat("55330F00", 8);
    QTest::newRow("column index, planar turned") << indexedImage(8, 8, 16, column) << int(Planar) << true << rows(planarTurned);
    QTest::newRow("column index, four-colour") << indexedImage(8, 8, 16, column) << int(FourColor) << false << repeat("5533", 8);
    QTest::newRow("column index, four-colour turned") << indexedImage(8, 8, 16, column) << int(FourColor) << true << rows(fourTurned);

    QTest::newRow("top row, linear") << indexedImage(8, 8, 4, topRow) << int(Linear) << false << hex("11111111") + repeat("00000000", 7);
    QTest::newRow("top row, planar") << indexedImage(8, 8, 4, topRow) << int(Planar) << false << hex("FF000000") + repeat("00000000", 7);
    QTest::newRow("top row, four-colour") << indexedImage(8, 8, 4, topRow) << int(FourColor) << false << hex("FF00") + repeat("0000", 7);
    QTest::newRow("top row, linear turned") << indexedImage(8, 8, 4, topRow) << int(Linear) << true << repeat("00000001", 8);
    QTest::newRow("top row, planar turned") << indexedImage(8, 8, 4, topRow) << int(Planar) << true << repeat("01000000", 8);
    QTest::newRow("top row, four-colour turned") << indexedImage(8, 8, 4, topRow) << int(FourColor) << true << repeat("0100", 8);

    QTest::newRow("top-left, linear") << indexedImage(8, 8, 4, topLeft) << int(Linear) << false << hex("10000000") + repeat("00000000", 7);
    QTest::newRow("top-left goes top-right") << indexedImage(8, 8, 4, topLeft) << int(Linear) << true << hex("00000001") + repeat("00000000", 7);

    QTest::newRow("mixed row, linear") << indexedImage(8, 8, 16, mixed) << int(Linear) << false << repeat("DE7456FC", 8);
    QTest::newRow("mixed row, planar") << indexedImage(8, 8, 16, mixed) << int(Planar) << false << repeat("AA66FFC3", 8);
    QTest::newRow("mixed row, four-colour") << indexedImage(8, 8, 16, mixed) << int(FourColor) << false << repeat("AA66", 8);

    const QByteArray halves = repeat("11111111", 8) + repeat("22222222", 8);
    QTest::newRow("16x8 halves: tiles left to right") << indexedImage(16, 8, 4, [](int x, int) { return x < 8 ? 1 : 2; }) << int(Linear) << false << halves;
    QTest::newRow("8x16 halves turned: order kept") << indexedImage(8, 16, 4, [](int, int y) { return y < 8 ? 1 : 2; }) << int(Linear) << true << halves;
    QTest::newRow("tile order is row by row")
            << indexedImage(16, 16, 16, [](int x, int y) { return (y / 8) * 2 + x / 8; }) << int(Linear) << false
            << repeat("00000000", 8) + repeat("11111111", 8) + repeat("22222222", 8) + repeat("33333333", 8);

    QTest::newRow("12x9: partial tiles never read")
            << indexedImage(12, 9, 16, [](int x, int y) { return x < 8 && y < 8 ? x : 15; }) << int(Linear) << false << repeat("01234567", 8);
    QTest::newRow("12x9 turned: partial tiles never read")
            << indexedImage(12, 9, 16, [](int x, int y) { return x < 8 && y < 8 ? x : 15; }) << int(Planar) << true << rows(planarTurned);

    // Indexes beyond the colour table keep to their own pixel.
    const auto high = [](int x, int) { return x == 1 ? 0x1F : 0x10 | x; };
    QTest::newRow("index 16+, linear keeps the low nibble") << indexedImage(8, 8, 16, high) << int(Linear) << false << repeat("0F234567", 8);
    QTest::newRow("index 16+, planar keeps four bits") << indexedImage(8, 8, 16, high) << int(Planar) << false << repeat("55734F40", 8);
}

void TestKestrine::convertImage()
{
    QFETCH(QImage, image);
    QFETCH(int, mode);
    QFETCH(bool, rotate);
    QFETCH(QByteArray, tiles);

    Run run(image, TileMode(mode), rotate);
    Console console;
    QVERIFY(run.kestrine.readImage());
    QVERIFY(run.kestrine.convertImage());
    QCOMPARE(run.tiles.toHex(' '), tiles.toHex(' '));
    QVERIFY(run.palette.isEmpty());
    QVERIFY(console.err.str().empty());
}

void TestKestrine::progressLine_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("rotate");
    QTest::addColumn<QString>("line");

    QTest::newRow("40x24") << 40 << 24 << false << "Convert Image (5x3 Tiles without rotation) ...\n";
    QTest::newRow("40x24 turned") << 40 << 24 << true << "Convert Image (5x3 Tiles with rotation) ...\n";
    QTest::newRow("8x8") << 8 << 8 << false << "Convert Image (1x1 Tiles without rotation) ...\n";
    QTest::newRow("15x17 drops the remainder") << 15 << 17 << true << "Convert Image (1x2 Tiles with rotation) ...\n";
}

void TestKestrine::progressLine()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, rotate);
    QFETCH(QString, line);

    for (TileMode mode : { Linear, Planar, FourColor }) {
        Run run(indexedImage(width, height, 4, [](int, int) { return 3; }), mode, rotate);
        Console console;
        QVERIFY(run.kestrine.convertImage());
        QCOMPARE(QString::fromStdString(console.out.str()), line);
        QCOMPARE(run.tiles.size(), (width / 8) * (height / 8) * (mode == FourColor ? 16 : 32));
    }
}

void TestKestrine::matchesPixelByPixel_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("rotate");

    const char *const modeNames[] = { "linear", "planar", "four-colour" };
    for (quint32 seed = 1; seed <= 24; ++seed) {
        QRandomGenerator random(seed);
        // Mostly small pictures, of any width and height; every fourth one wide and tall enough
        // for many tile rows and tile columns.
        const int limit = seed % 4 == 0 ? 400 : 48;
        const int width = random.bounded(8, limit), height = random.bounded(8, limit);
        const int colors = seed % 2 ? 16 : 4;
        // Every third picture has raw bytes beyond its colour table, which each mode reduces.
        const int values = seed % 3 == 0 ? 256 : colors;
        // Pictures in other formats are taken one pixelIndex call at a time.
        const QImage::Format format = seed == 5 ? QImage::Format_Mono
                : seed == 10                    ? QImage::Format_MonoLSB
                                                : QImage::Format_Indexed8;
        QImage image = indexedImage(width, height, colors, [&](int, int) { return random.bounded(values); });
        if (format != QImage::Format_Indexed8) {
            image = QImage(width, height, format);
            image.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255) });
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    image.setPixel(x, y, random.bounded(2));
        }
        for (TileMode mode : { Linear, Planar, FourColor })
            for (bool rotate : { false, true })
                QTest::addRow("seed %u, %dx%d, %s%s", seed, width, height, modeNames[mode],
                              rotate ? " turned" : "")
                        << image << int(mode) << rotate;
    }
}

void TestKestrine::matchesPixelByPixel()
{
    QFETCH(QImage, image);
    QFETCH(int, mode);
    QFETCH(bool, rotate);

    Run run(image, TileMode(mode), rotate);
    Console console;
    QVERIFY(run.kestrine.convertImage());
    const QByteArray expected = Reference::tiles(image, TileMode(mode), rotate);
    QCOMPARE(run.tiles.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const int tileBytes = mode == FourColor ? 16 : 32;
        if (run.tiles[i] != expected[i])
            QFAIL(qPrintable(QString("tile %1, byte %2: %3, not %4")
                                     .arg(i / tileBytes).arg(i % tileBytes)
                                     .arg(quint8(run.tiles[i]), 2, 16, QChar('0'))
                                     .arg(quint8(expected[i]), 2, 16, QChar('0'))));
    }
}

void TestKestrine::unknownModeWritesNothing_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("result");

    QTest::newRow("8x8: refused at the first row") << 8 << 8 << false;
    QTest::newRow("40x24: refused at the first row") << 40 << 24 << false;
    QTest::newRow("7x16: no whole tile, nothing to refuse") << 7 << 16 << true;
}

void TestKestrine::unknownModeWritesNothing()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, result);

    Run run(indexedImage(width, height, 16, [](int, int) { return 1; }), NoMode, false);
    Console console;
    QCOMPARE(run.kestrine.convertImage(), result);
    QCOMPARE(QString::fromStdString(console.out.str()),
             QString("Convert Image (%1x%2 Tiles without rotation) ...\n").arg(width / 8).arg(height / 8));
    QVERIFY(run.tiles.isEmpty());
}

void TestKestrine::failedStreamIsReported_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("room");
    QTest::addColumn<bool>("result");

    // A 40x24 picture: three tile rows of five tiles.
    for (TileMode mode : { Linear, Planar, FourColor }) {
        const int tileRow = 5 * (mode == FourColor ? 16 : 32);
        QTest::addRow("mode %d, no room", mode) << int(mode) << 0 << false;
        QTest::addRow("mode %d, room for one row record", mode) << int(mode) << 4 << false;
        QTest::addRow("mode %d, full in the second tile row", mode) << int(mode) << tileRow + 1 << false;
        QTest::addRow("mode %d, one byte short", mode) << int(mode) << 3 * tileRow - 1 << false;
        QTest::addRow("mode %d, room for all", mode) << int(mode) << 3 * tileRow << true;
    }
}

void TestKestrine::failedStreamIsReported()
{
    QFETCH(int, mode);
    QFETCH(int, room);
    QFETCH(bool, result);

    DiskFull disk(room);
    QVERIFY(disk.open(QIODevice::WriteOnly));
    QDataStream stream(&disk);
    stream.setByteOrder(QDataStream::LittleEndian);
    QImage image = indexedImage(40, 24, 16, [](int x, int y) { return x ^ y; });

    Console console;
    Kestrine kestrine(&image, &stream, &stream, TileMode(mode), true);
    QVERIFY(kestrine.readImage());
    QCOMPARE(kestrine.convertImage(), result);
    // Whatever got through is the start of the tile data.
    QCOMPARE(disk.taken, Reference::tiles(image, TileMode(mode), true).left(disk.taken.size()));
    if (room == 0) {
        stream.resetStatus();
        QVERIFY(!kestrine.convertColors());
    }
}

QTEST_GUILESS_MAIN(TestKestrine)
#include "tst_kestrine.moc"

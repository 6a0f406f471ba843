// Pictures and file systems that work against the tool: it must answer each with its line and
// status, and leave both outputs as they were unless it converted.
#include "pictures.h"
#include "reference.h"
#include "toolrun.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

static const QByteArray unsupported = "Kestrine::readImage(): Unsupported Pictureformat!\n";

static int pattern(int x, int y) { return (x * 3 + y * 5 + x * y) % 16; }

// Tile data of a picture's raw indexes: Linear keeps the low four bits of an index, Planar four
// bit planes, FourColor two.
static QByteArray tilesOf(int width, int height, const IndexAt &index, char layout)
{
    return Reference::tiles(indexedImage(width, height, 16, index), modeOfLetter(layout), false);
}

static QByteArray paletteOf(int colors) { return Reference::palette(colourTable(colors), colors); }

static QByteArray savedPng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class TestHostile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refusedInput_data();
    void refusedInput();
    void acceptedInput_data();
    void acceptedInput();
    void faults_data();
    void faults();
    void vanishingReader();
    void pictureFromAPipe_data();
    void pictureFromAPipe();

private:
    std::unique_ptr<QTemporaryDir> tempDir;
    QString path(const QString &name) const { return tempDir->filePath(name); }
};

void TestHostile::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    write(path("t.bin"), "earlier tiles");
    write(path("p.pal"), "earlier palette");
}

void TestHostile::refusedInput_data()
{
    QTest::addColumn<QByteArray>("input"); // the bytes of in.pic; empty with no line: a folder
    QTest::addColumn<QByteArray>("error");

    const QByteArray wholePng = savedPng(indexedImage(64, 64, 16, pattern));
    const QByteArray wholeBmp = bmp(64, 64, 4, 16, pattern);
    QByteArray tableIntoPixels = bmp(64, 64, 4, 16, pattern);
    putLe32(tableIntoPixels, 10, quint32(bmpPixelOffset(4))); // says the table has 4 entries ...
    tableIntoPixels.remove(bmpPixelOffset(4), 12 * 4); // ... and holds 4: 16 run into the pixels
    QByteArray tooManyColours = wholeBmp, tooFewColours = wholeBmp;
    putLe32(tooManyColours, 46, 300);
    putLe32(tooFewColours, 46, 2);

    QTest::newRow("zero-byte file") << QByteArray("") << unsupported;
    QTest::newRow("folder") << QByteArray() << unsupported;
    QTest::newRow("truncated PNG") << wholePng.left(wholePng.size() - 20) << unsupported;
    QTest::newRow("truncated BMP") << wholeBmp.left(wholeBmp.size() / 2) << unsupported;
    QTest::newRow("truncated RLE8 BMP") << bmp(64, 64, 8, 16, pattern, Rle8).chopped(100) << unsupported;
    QTest::newRow("PNG claims 100000x100000") << png4(8, 1, 16, pattern, 100000, 100000) << unsupported;
    QTest::newRow("BMP claims 300 colours") << tooManyColours << unsupported;
    QTest::newRow("BMP claims 2 colours") << tooFewColours
                                          << QByteArray("Kestrine::readImage(): Unsupported count of Colors 2, only 4 or 16 allowed!\n");
    QTest::newRow("BMP colour table runs into the pixels") << tableIntoPixels << unsupported;
}

void TestHostile::refusedInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, error);

    if (input.isNull())
        QVERIFY(QDir(tempDir->path()).mkdir("in.pic"));
    else
        write(path("in.pic"), input);
    const QStringList before = snapshot(tempDir->path());
    for (const char *mode : { "-l", "-pr", "-4" }) {
        const Result result = runTool(tempDir->path(), { mode, "in.pic", "t.bin", "p.pal" });
        QCOMPARE(result.status, 253);
        // libpng may say why it gave up before the tool's own line.
        QVERIFY2(result.err.endsWith(error) && result.err.count("Kestrine") == 1, result.err);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(snapshot(tempDir->path()), before);
    }
}

void TestHostile::acceptedInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("tiles");
    QTest::addColumn<QByteArray>("palette");

    const auto wide = [](int x, int y) { return (x * 7 + y * 3) % 256; }; // up to 255 in a 16-entry table
    const auto beyondFour = [](int x, int y) { return (x + 2 * y) % 16; }; // up to 15 in a 4-entry table
    const auto repaired = [&](int x, int y) { return beyondFour(x, y) < 4 ? beyondFour(x, y) : 0; };

    QTest::newRow("exactly 8x8") << savedPng(indexedImage(8, 8, 16, pattern)) << "-l"
                                 << tilesOf(8, 8, pattern, 'l') << paletteOf(16);
    const auto four = [](int x, int y) { return (x + 2 * y) % 4; };
    QTest::newRow("8x100000") << savedPng(indexedImage(8, 100000, 4, four)) << "-4"
                              << tilesOf(8, 100000, four, '4') << paletteOf(4);
    // Qt 6.4 repairs indexes beyond a PNG's table to 0 (and says so in a warning of its own).
    QTest::newRow("PNG indexes beyond the table") << png4(16, 8, 4, beyondFour) << "-l"
                                                  << tilesOf(16, 8, repaired, 'l') << paletteOf(4);
    // A BMP keeps them: Linear keeps their low four bits, the planar layouts their bit planes.
    for (const char *mode : { "-l", "-p", "-4" }) {
        QTest::addRow("BMP 8-bit indexes beyond the table, %s", mode)
                << bmp(16, 8, 8, 16, wide) << mode << tilesOf(16, 8, wide, mode[1]) << paletteOf(mode[1] == '4' ? 4 : 16);
    }
    QTest::newRow("BMP 4-bit indexes beyond the table, -p")
            << bmp(16, 8, 4, 4, beyondFour) << "-p" << tilesOf(16, 8, beyondFour, 'p') << paletteOf(4);
}

void TestHostile::acceptedInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, mode);
    QFETCH(QByteArray, tiles);
    QFETCH(QByteArray, palette);

    write(path("in.pic"), input);
    const Result result = runTool(tempDir->path(), { mode, "in.pic", "t.bin", "p.pal" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    QVERIFY(result.out.endsWith("Done ...\n"));
    QCOMPARE(read(path("p.pal")).toHex(' '), palette.toHex(' '));
    QCOMPARE(read(path("t.bin")).size(), tiles.size());
    QVERIFY(read(path("t.bin")) == tiles);
}

void TestHostile::faults_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("error");

    // big.png gives 64 KiB of tile data; in.png 16x8 gives 64 bytes and a 32-byte palette.
    QTest::newRow("tile data write fails") << QStringList{ "-l", "big.png", "t.bin", "p.pal" } << qint64(1000) << 253
                                           << QByteArray("Cant write outputFile (Picture) 't.bin'!\n");
    QTest::newRow("palette write fails, tile data to a FIFO") << QStringList{ "-l", "in.png", "t.fifo", "p.pal" } << qint64(16) << 253
                                                               << QByteArray("Cant write outputFile (Palette) 'p.pal'!\n");
    QTest::newRow("tile data is a folder") << QStringList{ "-l", "in.png", "folder", "p.pal" } << qint64(0) << 254
                                           << QByteArray("Cant open outputFile (Picture) 'folder'!\n");
    QTest::newRow("palette folder missing") << QStringList{ "-l", "in.png", "t.bin", "nowhere/p.pal" } << qint64(0) << 254
                                            << QByteArray("Cant open outputFile (Palette) 'nowhere/p.pal'!\n");
    // The same file twice: refused before anything is read or made, whatever the picture.
    const auto same = [](const char *output, const char *word, const char *other, const char *otherWord) {
        return "Cant write " + QByteArray(output) + " '" + word + "', it is the same file as " + other + " '" + otherWord + "'!\n";
    };
    const char *input = "inputFile (Picture)", *tiles = "outputFile (Picture)", *palette = "outputFile (Palette)";
    QTest::newRow("input as tile data") << QStringList{ "-l", "in.png", "in.png", "p.pal" } << qint64(0) << 254
                                        << same(tiles, "in.png", input, "in.png");
    QTest::newRow("input as palette, ./name") << QStringList{ "-l", "in.png", "t.bin", "./in.png" } << qint64(0) << 254
                                              << same(palette, "./in.png", input, "in.png");
    QTest::newRow("input found without its suffix") << QStringList{ "-l", "in", "in.png", "p.pal" } << qint64(0) << 254
                                                    << same(tiles, "in.png", input, "in");
    QTest::newRow("input through a symbolic link") << QStringList{ "-l", "in.png", "link.png", "p.pal" } << qint64(0) << 254
                                                   << same(tiles, "link.png", input, "in.png");
    QTest::newRow("input through a hard link") << QStringList{ "-l", "in.png", "t.bin", "hard.png" } << qint64(0) << 254
                                               << same(palette, "hard.png", input, "in.png");
    QTest::newRow("refused picture as tile data") << QStringList{ "-l", "rgb.png", "rgb.png", "p.pal" } << qint64(0) << 254
                                                  << same(tiles, "rgb.png", input, "rgb.png");
    QTest::newRow("both outputs one existing file") << QStringList{ "-l", "in.png", "t.bin", "t.bin" } << qint64(0) << 254
                                                    << same(palette, "t.bin", tiles, "t.bin");
    QTest::newRow("both outputs one new file") << QStringList{ "-l", "in.png", "new.bin", "folder/../new.bin" } << qint64(0) << 254
                                               << same(palette, "folder/../new.bin", tiles, "new.bin");
    QTest::newRow("both outputs one new file, one through a dangling link") << QStringList{ "-l", "in.png", "dangling.bin", "new.bin" } << qint64(0) << 254
                                                                            << same(palette, "new.bin", tiles, "dangling.bin");
    const char *map = "outputFile (Map)";
    QTest::newRow("map is the input") << QStringList{ "-l", "--map", "in.png", "in.png", "t.bin", "p.pal" } << qint64(0) << 254
                                      << same(map, "in.png", input, "in.png");
    QTest::newRow("map is the tile data") << QStringList{ "-l", "--map", "t.bin", "in.png", "t.bin", "p.pal" } << qint64(0) << 254
                                          << same(map, "t.bin", tiles, "t.bin");
    QTest::newRow("map folder missing") << QStringList{ "-l", "--map", "nowhere/m.map", "in.png", "t.bin", "p.pal" } << qint64(0) << 254
                                        << QByteArray("Cant open outputFile (Map) 'nowhere/m.map'!\n");
    // big.png has 32x32 cells, flat.png as many of one tile: a 2 KiB map.
    QTest::newRow("map write fails") << QStringList{ "-l", "--unique", "--map", "m.map", "flat.png", "t.bin", "p.pal" } << qint64(1000) << 253
                                     << QByteArray("Cant write outputFile (Map) 'm.map'!\n");
    QTest::newRow("map would name too many tiles") << QStringList{ "-p", "--map", "m.map", "--tile-base", "1", "big.png", "t.bin", "p.pal" } << qint64(0) << 253
                                                   << QByteArray("Kestrine: 1024 tiles do not fit in a map from tile base 1: a map names tiles 0 to 1023 (--unique keeps each distinct tile once)!\n");
    QTest::newRow("distinct tiles past the last tile number") << QStringList{ "-pr", "--flips", "--tile-base", "1023", "--map", "m.map", "in.png", "t.bin", "p.pal" } << qint64(0) << 253
                                                              << QByteArray("Kestrine: 2 distinct tiles do not fit in a map from tile base 1023: a map names tiles 0 to 1023!\n");
    QTest::newRow("17 colors in a tile") << QStringList{ "-l", "--palettes", "16", "--map", "m.map", "many.png", "t.bin", "p.pal" } << qint64(0) << 253
                                         << QByteArray("Kestrine: tile at cell (1, 0) has 17 colors, a palette holds 16!\n");
    QTest::newRow("more palettes needed than allowed") << QStringList{ "-p", "--palettes", "1", "many.png", "t.bin", "p.pal" } << qint64(0) << 253
                                                       << QByteArray("Kestrine: the tiles need 2 palettes of 16 colors, more than --palettes 1 allows!\n");
    QTest::newRow("tile data to a FIFO, refused") << QStringList{ "-l", "rgb.png", "t.fifo", "p.pal" } << qint64(0) << 253
                                                  << QByteArray("Kestrine::readImage(): Unsupported Colorformat, only 4 or 16 Colors allowed!\n");
}

// Whatever fails, every file in the folder keeps its bytes, and a FIFO receives nothing.
void TestHostile::faults()
{
    QFETCH(QStringList, args);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(int, status);
    QFETCH(QByteArray, error);

    write(path("in.png"), savedPng(indexedImage(16, 8, 16, pattern)));
    write(path("big.png"), savedPng(indexedImage(256, 256, 16, pattern)));
    write(path("rgb.png"), savedPng(QImage(16, 16, QImage::Format_RGB32)));
    write(path("flat.png"), savedPng(indexedImage(256, 256, 16, [](int, int) { return 5; })));
    // 16 colours in the left tile, 17 others in the right one, or 16 with -p and one palette.
    const auto many = [&](int x, int y) {
        const int colors = x < 8 || args.contains("-p") ? 16 : 17;
        const int i = (x % 8 + 8 * y) % colors;
        return qRgb(x < 8 ? 0 : 128, i % 16 * 16, 64 + i / 16 * 64);
    };
    write(path("many.png"), savedPng(trueColorImage(16, 8, many)));
    QVERIFY(QDir(tempDir->path()).mkdir("folder"));
    QVERIFY(QFile::link("in.png", path("link.png")));
    QVERIFY(::link(qPrintable(path("in.png")), qPrintable(path("hard.png"))) == 0);
    QVERIFY(QFile::link("new.bin", path("dangling.bin")));
    QVERIFY(mkfifo(qPrintable(path("t.fifo")), 0600) == 0);
    const int reader = open(qPrintable(path("t.fifo")), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);

    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), args, fileSizeLimit);
    char byte;
    const ssize_t got = ::read(reader, &byte, 1);
    close(reader);
    QCOMPARE(result.status, status);
    QCOMPARE(result.err, error);
    QVERIFY(!result.out.contains("Done"));
    QCOMPARE(snapshot(tempDir->path()), before);
    QVERIFY(got <= 0);
}

// The reader of a FIFO output goes away while the tool still writes: a write failure like any
// other, not a death by SIGPIPE.
void TestHostile::vanishingReader()
{
    // 128 KiB of tile data: more than a pipe holds, so the tool is still writing when the reader goes.
    write(path("in.png"), savedPng(indexedImage(1024, 256, 16, pattern)));
    QVERIFY(mkfifo(qPrintable(path("t.fifo")), 0600) == 0);
    const QStringList before = snapshot(tempDir->path());
    bool filled = false;
    const Result result = runTool(tempDir->path(), { "-l", "in.png", "t.fifo", "p.pal" }, 0, {}, [&] {
        const int reader = open(qPrintable(path("t.fifo")), O_RDONLY | O_NONBLOCK);
        const int capacity = fcntl(reader, F_GETPIPE_SZ);
        // Wait until the pipe is full, then leave; bounded so a broken tool cannot hang the test.
        for (int i = 0; i < 3000 && !filled; ++i) {
            int queued = 0;
            filled = ioctl(reader, FIONREAD, &queued) == 0 && queued >= capacity;
            if (!filled)
                usleep(10000);
        }
        close(reader);
    });
    QVERIFY(filled);
    QCOMPARE(result.status, 253);
    QCOMPARE(result.err, QByteArray("Cant write outputFile (Picture) 't.fifo'!\n"));
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestHostile::pictureFromAPipe_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("error");

    const QByteArray whole = bmp(16, 8, 4, 16, pattern);
    QTest::newRow("whole BMP") << whole << 0 << QByteArray();
    QTest::newRow("cut BMP") << whole.chopped(10) << 253 << unsupported;
}

// A pipe cannot be read twice, so the loader checks what came through it in memory.
void TestHostile::pictureFromAPipe()
{
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, error);

    QVERIFY(mkfifo(qPrintable(path("in.fifo")), 0600) == 0);
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), { "-l", "in.fifo", "t.bin", "p.pal" }, 0, {}, [&] {
        // Opening a FIFO without a reader fails at once when not blocking: wait for the tool,
        // bounded so a tool that never reads cannot hang the test.
        int writer = -1;
        for (int i = 0; i < 3000 && writer < 0; ++i) {
            writer = open(qPrintable(path("in.fifo")), O_WRONLY | O_NONBLOCK);
            if (writer < 0)
                usleep(10000);
        }
        if (writer >= 0) {
            fcntl(writer, F_SETFL, 0);
            QVERIFY(::write(writer, input.constData(), size_t(input.size())) == input.size());
            close(writer);
        }
    });
    QCOMPARE(result.status, status);
    QCOMPARE(result.err, error);
    if (status == 0) {
        QCOMPARE(read(path("t.bin")), tilesOf(16, 8, pattern, 'l'));
        QCOMPARE(read(path("p.pal")), paletteOf(16));
    } else {
        QCOMPARE(snapshot(tempDir->path()), before);
    }
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"

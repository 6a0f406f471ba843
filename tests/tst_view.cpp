#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "pictures.h"
#include "reference.h"
#include "toolrun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const QString viewer = QStringLiteral(KESTRINE_VIEW_TOOL);

static QByteArray usage()
{
    return "Usage: " + viewer.toLocal8Bit() + " -[l4prh?] [-w tilesAcross] tileData palette outputPicture\n\n"
           "       -l  = linear\n"
           "       -p  = planar\n"
           "       -pr = planar (rotated)\n"
           "       -4  = 4 color mode\n"
           "       -4r = 4 color mode (rotated)\n"
           "       -w  = tiles in a row of the picture, 1 to 65535 (default 16)\n"
           "       -h or -? = this\n";
}

// Palette words as the file holds them, little-endian.
static QByteArray paletteBytes(const QList<quint16> &words)
{
    QByteArray bytes;
    for (quint16 word : words)
        bytes += char(word & 0xFF), bytes += char(word >> 8);
    return bytes;
}

static QByteArray palette(int colors)
{
    QList<quint16> words;
    for (int i = 0; i < colors; ++i)
        words << quint16((i * 0x359) & 0xFFF);
    return paletteBytes(words);
}

// Tile data of count zero tiles of tileBytes each, with byte value at offset.
static QByteArray tiles(int count, int tileBytes, int offset = 0, char value = 0)
{
    QByteArray bytes(count * tileBytes, 0);
    bytes[offset] = value;
    return bytes;
}

// What the view of source must be: its whole tiles placed across slots a row, empty slots index 0,
// the first tableSize colours widened. Works on the source directly, not on the tile data.
static QImage expectedView(const QImage &source, int across, int tableSize)
{
    const int count = (source.width() / 8) * (source.height() / 8);
    across = qMin(across, count);
    const int down = (count + across - 1) / across;
    QImage view(across * 8, down * 8, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < tableSize; ++i)
        table << Reference::widened(source.color(i));
    view.setColorTable(table);
    view.fill(0);
    for (int tile = 0; tile < count; ++tile) {
        const int sx = tile % (source.width() / 8) * 8, sy = tile / (source.width() / 8) * 8;
        const int vx = tile % across * 8, vy = tile / across * 8;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                view.setPixel(vx + x, vy + y, uint(source.pixelIndex(sx + x, sy + y)));
    }
    return view;
}

// Empty when the two indexed pictures match in size, colour table and every index; else the first difference.
static QString difference(const QImage &actual, const QImage &expected)
{
    if (actual.format() != QImage::Format_Indexed8)
        return QString("format %1, not 8-bit indexed").arg(actual.format());
    if (actual.size() != expected.size())
        return QString("size %1x%2, expected %3x%4").arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    if (actual.colorTable() != expected.colorTable())
        return QString("colour table of %1 entries differs (expected %2)").arg(actual.colorCount()).arg(expected.colorCount());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (actual.pixelIndex(x, y) != expected.pixelIndex(x, y))
                return QString("index %1 at %2,%3, expected %4").arg(actual.pixelIndex(x, y)).arg(x).arg(y).arg(expected.pixelIndex(x, y));
    return {};
}

class TestView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void tilesAcross_data();
    void tilesAcross();
    void usageAnswers_data();
    void usageAnswers();
    void longOptions_data();
    void longOptions();
    void rejectedInputTouchesNothing_data();
    void rejectedInputTouchesNothing();
    void mapRejected_data();
    void mapRejected();
    void mapDraws();
    void mapRoundTrip_data();
    void mapRoundTrip();
    void trueColorRoundTrip_data();
    void trueColorRoundTrip();
    void writeFailureTouchesNothing();
    void fifoOutputIsWrittenInPlace();
    void sampleViewIsCurrent();

private:
    // Runs the view on the inputs the test wrote, over an earlier v.png: it must refuse with
    // status and error, and leave every file in the folder as it was.
    void expectRefusal(const QStringList &args, int status, const QByteArray &error);

    std::unique_ptr<QTemporaryDir> tempDir;
    QString path(const QString &name) const { return tempDir->filePath(name); }
};

void TestView::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
}

void TestView::roundTrip_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("colors");
    QTest::addColumn<bool>("sameWidth");
    QTest::addColumn<quint32>("seed");

    quint32 seed = 1;
    for (const char *options : { "-l", "-lr", "-p", "-pr", "-4", "-4r" })
        for (int colors : { 4, 16 })
            for (bool sameWidth : { true, false })
                QTest::addRow("%s, %d colours, %s", options, colors, sameWidth ? "as wide as the source" : "other width")
                        << options << colors << sameWidth << seed++;
}

void TestView::roundTrip()
{
    QFETCH(QString, options);
    QFETCH(int, colors);
    QFETCH(bool, sameWidth);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    // The palette of the 4 colour mode holds the first 4 colours, so only they can come back.
    const int tableSize = options.startsWith("-4") ? 4 : colors;
    for (int picture = 0; picture < 4; ++picture) {
        QImage source(random.bounded(8, 73), random.bounded(8, 73), QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; i < colors; ++i)
            table << (0xFF000000 | random.bounded(0x1000000));
        source.setColorTable(table);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                source.setPixel(x, y, uint(random.bounded(tableSize)));
        QVERIFY(source.save(path("source.png")));

        const int sourceAcross = source.width() / 8;
        const int count = sourceAcross * (source.height() / 8);
        const int across = sameWidth ? sourceAcross : random.bounded(1, count + 3);
        const QString context = QString("seed %1, picture %2: %3x%4, -w %5")
                .arg(seed).arg(picture).arg(source.width()).arg(source.height()).arg(across);

        Result result = runTool(tempDir->path(), { options, "source.png", "t.bin", "p.pal" });
        QVERIFY2(result.status == 0, qPrintable(context + ": tool " + result.err));
        result = runProgram(viewer, tempDir->path(), { options, "-w", QString::number(across), "t.bin", "p.pal", "view.png" });
        QVERIFY2(result.status == 0 && result.err.isEmpty(), qPrintable(context + ": viewer " + result.err));
        QVERIFY2(result.out.endsWith("\nDone ...\n"), qPrintable(context));

        // An 8-bit indexed PNG: bit depth and colour type in the header.
        const QByteArray png = read(path("view.png"));
        QVERIFY2(png.size() > 26 && png[24] == 8 && png[25] == 3, qPrintable(context));
        const QString wrong = difference(QImage(path("view.png")), expectedView(source, across, tableSize));
        QVERIFY2(wrong.isEmpty(), qPrintable(context + ": " + wrong));

        if (count % qMin(across, count) == 0) {
            result = runTool(tempDir->path(), { options, "view.png", "t2.bin", "p2.pal" });
            QVERIFY2(result.status == 0, qPrintable(context + ": tool on the view " + result.err));
            QVERIFY2(read(path("t2.bin")) == read(path("t.bin")), qPrintable(context + ": tile data differs"));
            QVERIFY2(read(path("p2.pal")) == read(path("p.pal")), qPrintable(context + ": palette differs"));
        }
    }
}

void TestView::tilesAcross_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("out");

    const QStringList names{ "t.bin", "p.pal", "v.png" };
    const QByteArray done = "Done ...\n";
    QTest::newRow("default 16") << QStringList{ "-l" } + names << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
    QTest::newRow("-w 1") << QStringList{ "-l", "-w", "1" } + names << QSize(8, 24) << "Read Colors (16)...\nDraw Image (3 Tiles in 1x3 Slots without rotation) ...\n" + done;
    QTest::newRow("-w 2 leaves an empty slot") << QStringList{ "-pr", "-w", "2" } + names << QSize(16, 16) << "Read Colors (16)...\nDraw Image (3 Tiles in 2x2 Slots with rotation) ...\n" + done;
    QTest::newRow("-w 3") << QStringList{ "-l", "-w3" } + names << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
    QTest::newRow("-w 65535") << QStringList{ "-l", "-w", "65535" } + names << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
    QTest::newRow("-lw 02") << QStringList{ "-lw", "02" } + names << QSize(16, 16) << "Read Colors (16)...\nDraw Image (3 Tiles in 2x2 Slots without rotation) ...\n" + done;
    QTest::newRow("last -w wins") << QStringList{ "-w", "1", "-l", "-w", "3" } + names << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
    QTest::newRow("-lp is planar") << QStringList{ "-lp" } + names << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
    QTest::newRow("options after the names") << names + QStringList{ "-w", "1", "-rl" } << QSize(8, 24) << "Read Colors (16)...\nDraw Image (3 Tiles in 1x3 Slots with rotation) ...\n" + done;
    QTest::newRow("-4 reads 16-byte tiles") << QStringList{ "-4", "t.bin", "p4.pal", "v.png" } << QSize(48, 8) << "Read Colors (4)...\nDraw Image (6 Tiles in 6x1 Slots without rotation) ...\n" + done;
    QTest::newRow("-- then a hyphen name") << QStringList{ "-l", "--", "-t.bin", "p.pal", "v.png" } << QSize(24, 8) << "Read Colors (16)...\nDraw Image (3 Tiles in 3x1 Slots without rotation) ...\n" + done;
}

void TestView::tilesAcross()
{
    QFETCH(QStringList, args);
    QFETCH(QSize, size);
    QFETCH(QByteArray, out);

    // Index 1 in the first pixel of every 32-byte tile, so that each tile is told from an empty slot.
    QByteArray bytes(3 * 32, 0);
    for (int tile = 0; tile < 3; ++tile)
        bytes[tile * 32] = 0x10;
    write(path("t.bin"), bytes);
    write(path("-t.bin"), bytes);
    write(path("p.pal"), palette(16));
    write(path("p4.pal"), palette(4));
    const Result result = runProgram(viewer, tempDir->path(), args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, 0);
    const QImage view(path("v.png"));
    QCOMPARE(view.size(), size);
    QCOMPARE(view.format(), QImage::Format_Indexed8);
    QCOMPARE(view.colorCount(), args.contains("-4") ? 4 : 16);
    QCOMPARE(view.color(1), qRgb(0x3 * 17, 0x5 * 17, 0x9 * 17));
    int marked = 0;
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            marked += view.pixelIndex(x, y) != 0;
    QCOMPARE(marked, 3);
}

void TestView::usageAnswers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("err"); // the whole of stderr, or what the parser's diagnostic holds
    QTest::addColumn<bool>("parserSpoke");

    const QStringList names{ "t.bin", "p.pal", "v.png" };
    const QByteArray noMode = "kestrine-view: no mode letter, one of -l, -p or -4 is needed\n";
    const auto badWidth = [](const char *word) {
        return "kestrine-view: -w takes a number of tiles from 1 to 65535, not '" + QByteArray(word) + "'\n";
    };
    QTest::newRow("no words") << QStringList{} << noMode << false;
    QTest::newRow("-h") << QStringList{ "-h" } + names << QByteArray() << false;
    QTest::newRow("-?") << QStringList{ "-?" } + names << QByteArray() << false;
    QTest::newRow("-lh") << QStringList{ "-lh" } + names << QByteArray() << false;
    QTest::newRow("unknown letter") << QStringList{ "-lx" } + names << QByteArray("invalid option") << true;
    QTest::newRow("unknown long option") << QStringList{ "--frobnicate", "-l" } + names << QByteArray("unrecognized option") << true;
    QTest::newRow("no mode letter") << QStringList{ "-r" } + names << noMode << false;
    QTest::newRow("no options") << names << noMode << false;
    QTest::newRow("two names") << QStringList{ "-l", "t.bin", "p.pal" } << QByteArray("kestrine-view: 3 names are needed (tileData palette outputPicture), 2 given\n") << false;
    QTest::newRow("-w 0") << QStringList{ "-l", "-w", "0" } + names << badWidth("0") << false;
    QTest::newRow("-w 65536") << QStringList{ "-l", "-w", "65536" } + names << badWidth("65536") << false;
    QTest::newRow("-w 99999999999") << QStringList{ "-l", "-w", "99999999999" } + names << badWidth("99999999999") << false;
    QTest::newRow("-w abc") << QStringList{ "-l", "-w", "abc" } + names << badWidth("abc") << false;
    QTest::newRow("-w 12x") << QStringList{ "-l", "-w", "12x" } + names << badWidth("12x") << false;
    QTest::newRow("-w +4") << QStringList{ "-l", "-w", "+4" } + names << badWidth("+4") << false;
    QTest::newRow("-w with a blank") << QStringList{ "-l", "-w", " 4" } + names << badWidth(" 4") << false;
    QTest::newRow("-w empty") << QStringList{ "-l", "-w", "" } + names << badWidth("") << false;
    QTest::newRow("-w takes the next option") << QStringList{ "-w", "-l" } + names << badWidth("-l") << false;
    QTest::newRow("-w without argument") << QStringList{ "-l" } + names + QStringList{ "-w" } << QByteArray("requires an argument") << true;
}

void TestView::usageAnswers()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, err);
    QFETCH(bool, parserSpoke);

    write(path("t.bin"), tiles(1, 32));
    write(path("p.pal"), palette(16));
    const QStringList before = snapshot(tempDir->path());
    const Result result = runProgram(viewer, tempDir->path(), args);
    QCOMPARE(result.status, 255);
    QCOMPARE(result.out, usage());
    if (parserSpoke)
        QVERIFY2(result.err.contains(err) && result.err.count('\n') == 1, result.err);
    else
        QCOMPARE(result.err, err);
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestView::longOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("out");

    const QByteArray help = usage() + "\nLong options:\n"
            "       --map FILE         draw the picture that a tile map describes, -w cells across\n"
            "       --tile-base N      the map's first tile number is the tile data's first tile\n"
            "       --palette-base N   the map's palette N is the palette file's first\n"
            "       --quiet            no progress lines and no \"Done ...\"\n"
            "       --help             this text, with the long options\n"
            "       --version          the version\n";
    QTest::newRow("--help") << QStringList{ "--help" } << help;
    QTest::newRow("--help with a whole line") << QStringList{ "-l", "t.bin", "p.pal", "v.png", "--help" } << help;
    QTest::newRow("--version") << QStringList{ "--version" } << QByteArray("kestrine-view 1.1.0\n");
    QTest::newRow("--quiet") << QStringList{ "--quiet", "-l", "t.bin", "p.pal", "v.png" } << QByteArray();
}

// --help and --version answer with status 0 and write nothing; --quiet draws without a word.
void TestView::longOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, out);

    write(path("t.bin"), tiles(1, 32));
    write(path("p.pal"), palette(16));
    const QStringList before = snapshot(tempDir->path());
    const Result result = runProgram(viewer, tempDir->path(), args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, 0);
    if (args.contains("--quiet"))
        QCOMPARE(QImage(path("v.png")).size(), QSize(8, 8));
    else
        QCOMPARE(snapshot(tempDir->path()), before);
}

void TestView::rejectedInputTouchesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("tileData");
    QTest::addColumn<QByteArray>("paletteData");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("error");

    const QStringList names{ "t.bin", "p.pal", "v.png" };
    const QByteArray sizeError = "kestrine-view: tileData 't.bin' has %1 bytes, not a non-zero multiple of %2!\n";
    const auto tileSize = [&](int size, int multiple) {
        return QByteArray(sizeError).replace("%1", QByteArray::number(size)).replace("%2", QByteArray::number(multiple));
    };
    const QByteArray p16 = palette(16), p4 = palette(4);

    QTest::newRow("33 bytes, linear") << QStringList{ "-l" } + names << tiles(1, 33) << p16 << 253 << tileSize(33, 32);
    QTest::newRow("31 bytes, linear") << QStringList{ "-l" } + names << tiles(1, 31) << p16 << 253 << tileSize(31, 32);
    QTest::newRow("16 bytes, planar") << QStringList{ "-p" } + names << tiles(1, 16) << p16 << 253 << tileSize(16, 32);
    QTest::newRow("48 bytes, planar turned") << QStringList{ "-pr" } + names << tiles(3, 16) << p16 << 253 << tileSize(48, 32);
    QTest::newRow("24 bytes, 4 colour") << QStringList{ "-4" } + names << tiles(1, 24) << p4 << 253 << tileSize(24, 16);
    QTest::newRow("empty, linear") << QStringList{ "-l" } + names << QByteArray() << p16 << 253 << tileSize(0, 32);
    QTest::newRow("empty, 4 colour") << QStringList{ "-4r" } + names << QByteArray() << p4 << 253 << tileSize(0, 16);

    const QByteArray paletteSize = "kestrine-view: palette 'p.pal' has %1 bytes, not 8 (4 colors) or 32 (16 colors)!\n";
    for (int size : { 0, 2, 10, 16, 30, 34, 64 })
        QTest::addRow("palette of %d bytes", size) << QStringList{ "-l" } + names << tiles(1, 32) << p16.left(size).leftJustified(size, 0) << 253 << QByteArray(paletteSize).replace("%1", QByteArray::number(size));
    QTest::newRow("4 colour, 32-byte palette") << QStringList{ "-4" } + names << tiles(1, 16) << p16 << 253 << QByteArray("kestrine-view: palette 'p.pal' has 32 bytes, not the 8 of 4 colors that the 4 color mode needs!\n");
    QTest::newRow("4 colour, 10-byte palette") << QStringList{ "-4" } + names << tiles(1, 16) << palette(5) << 253 << QByteArray("kestrine-view: palette 'p.pal' has 10 bytes, not the 8 of 4 colors that the 4 color mode needs!\n");

    const QByteArray wordError = "kestrine-view: palette 'p.pal' has %1 for color %2, not a 12-bit word below 0x1000!\n";
    const struct { quint16 word; int entry; int colors; } words[] = { { 0x1000, 3, 16 }, { 0xFFFF, 0, 4 }, { 0x8000, 15, 16 }, { 0x1FFF, 3, 4 } };
    for (const auto &w : words) {
        QList<quint16> entries(w.colors, 0x0FFF);
        entries[w.entry] = w.word;
        const QByteArray hexWord = "0x" + QByteArray::number(w.word, 16).toUpper().rightJustified(4, '0');
        QTest::addRow("palette word %s at %d of %d", hexWord.constData(), w.entry, w.colors)
                << QStringList{ w.colors == 4 ? "-4" : "-p" } + names << tiles(1, w.colors == 4 ? 16 : 32) << paletteBytes(entries) << 253
                << QByteArray(wordError).replace("%1", hexWord).replace("%2", QByteArray::number(w.entry));
    }

    const QByteArray indexError = "kestrine-view: tileData 't.bin' has index %1 in tile %2, beyond the 4 colors of the palette!\n";
    const auto beyond = [&](int index, int tile) {
        return QByteArray(indexError).replace("%1", QByteArray::number(index)).replace("%2", QByteArray::number(tile));
    };
    // Offsets inside the second tile: row 2, byte 1 holds pixels 2 and 3 (linear) or bit plane 1 (planar).
    QTest::newRow("linear index 4, 4 colours") << QStringList{ "-l" } + names << tiles(2, 32, 32 + 9, 0x04) << p4 << 253 << beyond(4, 1);
    QTest::newRow("linear index 15, 4 colours, turned") << QStringList{ "-lr" } + names << tiles(3, 32, 64 + 31, char(0xF0)) << p4 << 253 << beyond(15, 2);
    QTest::newRow("planar index 4, 4 colours") << QStringList{ "-p" } + names << tiles(2, 32, 32 + 10, 0x01) << p4 << 253 << beyond(4, 1);
    QTest::newRow("planar index 8, 4 colours, turned") << QStringList{ "-pr" } + names << tiles(1, 32, 3, char(0x80)) << p4 << 253 << beyond(8, 0);

    QTest::newRow("tile data missing") << QStringList{ "-l", "missing.bin", "p.pal", "v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open inputFile (Tiles) 'missing.bin'!\n");
    QTest::newRow("tile data is a folder") << QStringList{ "-l", "folder", "p.pal", "v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open inputFile (Tiles) 'folder'!\n");
    QTest::newRow("palette missing") << QStringList{ "-l", "t.bin", "missing.pal", "v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open inputFile (Palette) 'missing.pal'!\n");
    QTest::newRow("palette is a folder") << QStringList{ "-l", "t.bin", "folder", "v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open inputFile (Palette) 'folder'!\n");
    QTest::newRow("both missing: tile data named") << QStringList{ "-l", "missing.bin", "missing.pal", "v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open inputFile (Tiles) 'missing.bin'!\n");
    QTest::newRow("output folder missing") << QStringList{ "-l", "t.bin", "p.pal", "nowhere/v.png" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open outputFile (Picture) 'nowhere/v.png'!\n");
    QTest::newRow("output is a folder") << QStringList{ "-l", "t.bin", "p.pal", "folder" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant open outputFile (Picture) 'folder'!\n");
    QTest::newRow("output is the tile data") << QStringList{ "-l", "t.bin", "p.pal", "t.bin" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant write outputFile (Picture) 't.bin', it is the same file as inputFile (Tiles) 't.bin'!\n");
    QTest::newRow("output is the palette, ./name") << QStringList{ "-l", "t.bin", "p.pal", "./p.pal" } << tiles(1, 32) << p16 << 254 << QByteArray("Cant write outputFile (Picture) './p.pal', it is the same file as inputFile (Palette) 'p.pal'!\n");
    QTest::newRow("unopenable output before bad data") << QStringList{ "-l", "t.bin", "p.pal", "folder" } << tiles(1, 33) << p16 << 254 << QByteArray("Cant open outputFile (Picture) 'folder'!\n");
}

void TestView::rejectedInputTouchesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, tileData);
    QFETCH(QByteArray, paletteData);
    QFETCH(int, status);
    QFETCH(QByteArray, error);

    QVERIFY(QDir(tempDir->path()).mkdir("folder"));
    write(path("t.bin"), tileData);
    write(path("p.pal"), paletteData);
    expectRefusal(args, status, error);
}

void TestView::expectRefusal(const QStringList &args, int status, const QByteArray &error)
{
    write(path("v.png"), "earlier picture");
    const QStringList before = snapshot(tempDir->path());
    const Result result = runProgram(viewer, tempDir->path(), args);
    QCOMPARE(result.status, status);
    QCOMPARE(result.err, error);
    QVERIFY2(!result.out.contains("Done"), result.out);
    QCOMPARE(snapshot(tempDir->path()), before);
}

// Map entries as the file holds them, little-endian.
static QByteArray mapBytes(const QList<quint16> &entries) { return paletteBytes(entries); }

void TestView::mapRejected_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("tileData");
    QTest::addColumn<QByteArray>("paletteData");
    QTest::addColumn<QByteArray>("mapData");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("error");

    const QStringList names{ "t.bin", "p.pal", "v.png" };
    const QStringList map{ "--map", "m.map" };
    const QByteArray two = tiles(2, 32), p16 = palette(16);
    const QByteArray notWhole = "kestrine-view: map 'm.map' has %1 bytes, not whole rows of %2 16-bit entries (-w %2)!\n";
    const auto rows = [&](int size, int width) {
        return QByteArray(notWhole).replace("%1", QByteArray::number(size)).replace("%2", QByteArray::number(width));
    };
    QTest::newRow("3 entries, -w 2") << QStringList{ "-l", "-w", "2" } + map + names << two << p16 << mapBytes({ 0, 1, 0 }) << 253 << rows(6, 2);
    QTest::newRow("odd size") << QStringList{ "-l", "-w", "1" } + map + names << two << p16 << QByteArray(5, 0) << 253 << rows(5, 1);
    QTest::newRow("empty map") << QStringList{ "-p", "-w", "1" } + map + names << two << p16 << QByteArray() << 253 << rows(0, 1);
    QTest::newRow("tile beyond the tile data") << QStringList{ "-l", "-w", "2" } + map + names << two << p16 << mapBytes({ 1, 2 }) << 253
                                               << QByteArray("kestrine-view: map 'm.map' names tile 2 at cell (1, 0), beyond the 2 tiles of the tile data from tile base 0!\n");
    QTest::newRow("tile below the tile base") << QStringList{ "-l", "-w", "1", "--tile-base", "5" } + map + names << two << p16 << mapBytes({ 5, 4 }) << 253
                                              << QByteArray("kestrine-view: map 'm.map' names tile 4 at cell (0, 1), beyond the 2 tiles of the tile data from tile base 5!\n");
    QTest::newRow("palette beyond the file") << QStringList{ "-p", "-w", "2" } + map + names << two << p16 << mapBytes({ 0, 1 << 9 }) << 253
                                             << QByteArray("kestrine-view: map 'm.map' names palette 1 at cell (1, 0), beyond the 1 of the palette file from palette base 0!\n");
    QTest::newRow("palette below the palette base") << QStringList{ "-p", "-w", "1", "--palette-base", "3" } + map + names << two << p16 << mapBytes({ 2 << 9 }) << 253
                                                    << QByteArray("kestrine-view: map 'm.map' names palette 2 at cell (0, 0), beyond the 1 of the palette file from palette base 3!\n");
    QTest::newRow("palettes not whole") << QStringList{ "-l", "-w", "1" } + map + names << two << palette(20) << mapBytes({ 0 }) << 253
                                        << QByteArray("kestrine-view: palette 'p.pal' has 40 bytes, not a non-zero multiple of 32 (palettes of 16 colors)!\n");
    QTest::newRow("4 colour palettes not whole") << QStringList{ "-4", "-w", "1" } + map + names << tiles(2, 16) << palette(6) << mapBytes({ 0 }) << 253
                                                 << QByteArray("kestrine-view: palette 'p.pal' has 12 bytes, not a non-zero multiple of 8 (palettes of 4 colors)!\n");
    QTest::newRow("17 palettes") << QStringList{ "-l", "-w", "1" } + map + names << two << palette(16 * 17) << mapBytes({ 0 }) << 253
                                 << QByteArray("kestrine-view: palette 'p.pal' has 17 palettes, more than the 16 a map can name!\n");
    QTest::newRow("index beyond a palette of 4") << QStringList{ "-l", "-w", "1" } + map + names << tiles(2, 32, 32, 0x40) << palette(4) << mapBytes({ 1 }) << 253
                                                 << QByteArray("kestrine-view: tileData 't.bin' has index 4 in tile 1, beyond the 4 colors of the palette!\n");
    QTest::newRow("map missing") << QStringList{ "-l", "--map", "missing.map" } + names << two << p16 << mapBytes({ 0 }) << 254
                                 << QByteArray("Cant open inputFile (Map) 'missing.map'!\n");
    QTest::newRow("output is the map") << QStringList{ "-l", "--map", "m.map", "t.bin", "p.pal", "m.map" } << two << p16 << mapBytes({ 0 }) << 254
                                       << QByteArray("Cant write outputFile (Picture) 'm.map', it is the same file as inputFile (Map) 'm.map'!\n");
    QTest::newRow("--tile-base not a number") << QStringList{ "-l", "--tile-base", "x" } + map + names << two << p16 << mapBytes({ 0 }) << 255
                                              << QByteArray("kestrine-view: --tile-base takes a number from 0 to 1023, not 'x'\n");
}

void TestView::mapRejected()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, tileData);
    QFETCH(QByteArray, paletteData);
    QFETCH(QByteArray, mapData);
    QFETCH(int, status);
    QFETCH(QByteArray, error);

    write(path("t.bin"), tileData);
    write(path("p.pal"), paletteData);
    write(path("m.map"), mapData);
    expectRefusal(args, status, error);
}

// Two palettes of 16 and one tile, drawn four ways: palette k is at 16 * k in the colour table.
void TestView::mapDraws()
{
    write(path("t.bin"), tiles(1, 32, 0, 0x12)); // the top row starts with indexes 1 and 2
    write(path("p.pal"), palette(32));
    write(path("m.map"), mapBytes({ 0, 1 << 9 | 0x4000, 0x8000, 1 << 9 | 0xC000 }));
    const Result result = runProgram(viewer, tempDir->path(), { "-l", "--map", "m.map", "-w", "2", "t.bin", "p.pal", "v.png" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, QByteArray("Read Colors (32)...\nDraw Map (2x2 Cells of 1 Tiles without rotation) ...\nDone ...\n"));
    const QImage view(path("v.png"));
    QCOMPARE(view.size(), QSize(16, 16));
    QCOMPARE(view.colorCount(), 32);
    const int word = 17 * 0x359 & 0xFFF; // entry 1 of palette 1, as palette() makes it
    QCOMPARE(view.color(17), qRgb((word >> 8) * 17, (word >> 4 & 0xF) * 17, (word & 0xF) * 17));
    const struct { int x, y, index; } pixels[] = {
        { 0, 0, 1 }, { 1, 0, 2 }, { 2, 0, 0 },     // as it is, palette 0
        { 15, 0, 17 }, { 14, 0, 18 }, { 8, 0, 16 }, // left-right, palette 1
        { 0, 15, 1 }, { 1, 15, 2 }, { 0, 8, 0 },    // top-bottom, palette 0
        { 15, 15, 17 }, { 14, 15, 18 },             // both, palette 1
    };
    for (const auto &p : pixels)
        QVERIFY2(view.pixelIndex(p.x, p.y) == p.index, qPrintable(QString("pixel %1,%2: %3").arg(p.x).arg(p.y).arg(view.pixelIndex(p.x, p.y))));
}

void TestView::mapRoundTrip_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<quint32>("seed");

    quint32 seed = 100;
    for (const char *options : { "-l", "-pr", "-4", "-4r" })
        for (const QStringList &extra : { QStringList{}, QStringList{ "--unique" }, QStringList{ "--flips" } })
            QTest::addRow("%s %s", options, qPrintable(extra.join(' '))) << options << extra << seed++;
}

// Through both tools with the same options: the source's whole tiles, colours reduced to 12 bits.
void TestView::mapRoundTrip()
{
    QFETCH(QString, options);
    QFETCH(QStringList, extra);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    const int colors = random.bounded(2) ? 16 : 4;
    const QImage source = pooledImage(random, random.bounded(1, 9), random.bounded(1, 9), colors,
                                      options.startsWith("-4") ? 4 : colors, random.bounded(1, 5));
    QVERIFY(source.save(path("source.png")));
    const QStringList bases{ "--tile-base", QString::number(random.bounded(900)), "--palette-base", QString::number(random.bounded(16)) };
    Result result = runTool(tempDir->path(), QStringList{ options, "--map", "m.map" } + extra + bases + QStringList{ "source.png", "t.bin", "p.pal" });
    QVERIFY2(result.status == 0, result.err);
    const int across = source.width() / 8, down = source.height() / 8;
    const QString width = QString::number(options.endsWith('r') ? down : across);
    result = runProgram(viewer, tempDir->path(), QStringList{ options, "--map", "m.map", "-w", width } + bases + QStringList{ "t.bin", "p.pal", "v.png" });
    QVERIFY2(result.status == 0 && result.err.isEmpty(), result.err);
    const QImage view(path("v.png"));
    QCOMPARE(view.size(), QSize(8 * across, 8 * down));
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            if (view.pixel(x, y) != Reference::widened(source.pixel(x, y)))
                QFAIL(qPrintable(QString("pixel %1,%2 differs").arg(x).arg(y)));
}

void TestView::trueColorRoundTrip_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<quint32>("seed");

    quint32 seed = 200;
    for (const char *options : { "-l", "-p", "-pr", "-4", "-4r" })
        QTest::addRow("%s", options) << options << seed++;
}

// An RGBA PNG drawn from K palettes, some pixels transparent, through both tools: every opaque
// pixel comes back as its colour reduced to 12 bits, in at most K palettes.
void TestView::trueColorRoundTrip()
{
    QFETCH(QString, options);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    const int k = random.bounded(1, 7);
    const QImage source = paletteDrawnImage(random, random.bounded(1, 9), random.bounded(1, 9), k,
                                            options.startsWith("-4") ? 3 : 15, true);
    QVERIFY(source.save(path("source.png")));
    Result result = runTool(tempDir->path(), { options, "--palettes", "16", "--map", "m.map", "--flips", "source.png", "t.bin", "p.pal" });
    QVERIFY2(result.status == 0, result.err);
    const int size = options.startsWith("-4") ? 4 : 16;
    QVERIFY(read(path("p.pal")).size() <= 2 * size * k);
    const int across = source.width() / 8, down = source.height() / 8;
    const QString width = QString::number(options.endsWith('r') ? down : across);
    result = runProgram(viewer, tempDir->path(), { options, "--map", "m.map", "-w", width, "t.bin", "p.pal", "v.png" });
    QVERIFY2(result.status == 0 && result.err.isEmpty(), result.err);
    const QImage view(path("v.png"));
    QCOMPARE(view.size(), QSize(8 * across, 8 * down));
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            if (qAlpha(source.pixel(x, y)) >= 128 && view.pixel(x, y) != Reference::widened(source.pixel(x, y)))
                QFAIL(qPrintable(QString("pixel %1,%2 differs").arg(x).arg(y)));
}

void TestView::writeFailureTouchesNothing()
{
    QByteArray bytes(64 * 32, 0);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 % 251);
    write(path("t.bin"), bytes);
    write(path("p.pal"), palette(16));
    write(path("v.png"), "earlier picture");
    const QStringList before = snapshot(tempDir->path());
    const Result result = runProgram(viewer, tempDir->path(), { "-p", "t.bin", "p.pal", "v.png" }, 200);
    QCOMPARE(result.status, 253);
    QCOMPARE(result.err, QByteArray("Cant write outputFile (Picture) 'v.png'!\n"));
    QVERIFY(!result.out.contains("Done"));
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestView::fifoOutputIsWrittenInPlace()
{
    write(path("t.bin"), tiles(4, 16, 5, 0x12));
    write(path("p.pal"), palette(4));
    QVERIFY(mkfifo(qPrintable(path("v.fifo")), 0600) == 0);
    const int reader = open(qPrintable(path("v.fifo")), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const Result result = runProgram(viewer, tempDir->path(), { "-4r", "-w", "2", "t.bin", "p.pal", "v.fifo" });
    QByteArray png(65536, 0);
    png.resize(qMax<ssize_t>(0, ::read(reader, png.data(), png.size())));
    close(reader);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    const QImage view = QImage::fromData(png, "PNG");
    QCOMPARE(view.size(), QSize(16, 16));
    QCOMPARE(view.colorCount(), 4);
    struct stat info;
    QVERIFY(stat(qPrintable(path("v.fifo")), &info) == 0 && S_ISFIFO(info.st_mode));
}

void TestView::sampleViewIsCurrent()
{
    // The README shows this view beside the sample; it must be what the tool makes today.
    const QString samples = QStringLiteral(KESTRINE_SOURCE_DIR "/samples/");
    QCOMPARE(runTool(tempDir->path(), { "-l", samples + "kestrel.png", "t.bin", "p.pal" }).status, 0);
    QCOMPARE(runProgram(viewer, tempDir->path(), { "-l", "-w", "8", "t.bin", "p.pal", "v.png" }).status, 0);
    const QImage committed(samples + "kestrel-view.png");
    QVERIFY(!committed.isNull());
    const QString wrong = difference(committed, QImage(path("v.png")));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

QTEST_GUILESS_MAIN(TestView)
#include "tst_view.moc"

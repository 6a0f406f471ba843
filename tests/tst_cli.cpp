#include "reference.h"
#include "toolrun.h"

#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static QByteArray usage()
{
    return "Usage: " + tool.toLocal8Bit() + " -[l4rph?] inputPicture outputPicture outputPalette\n\n"
           "       -l  = linear\n"
           "       -p  = planar\n"
           "       -pr = planar (rotated)\n"
           "       -4  = 4 color mode (use only the first 4 colors of a 16 color picture)\n"
           "       -4r = 4 color mode (rotated)\n"
           "       -h or -? = this\n";
}

// A 16x8 16-colour picture whose two tiles differ, with a colour table that tells entries apart.
static QImage sample(int colors = 16, int width = 16, int height = 8)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colors; ++i)
        table << qRgb(i * 17, 255 - i * 17, (i * 5 % 16) * 17);
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, uint((x * 3 + y * 5 + x * y) % colors));
    return image;
}

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void usageAnswers_data();
    void usageAnswers();
    void longOptions_data();
    void longOptions();
    void optionsAndNames_data();
    void optionsAndNames();
    void rejectedPictureTouchesNothing_data();
    void rejectedPictureTouchesNothing();
    void unopenableOutput_data();
    void unopenableOutput();
    void writeFailureTouchesNothing_data();
    void writeFailureTouchesNothing();
    void paletteWriteFailure();
    void oneFifoForBothOutputs();
    void fifoOutputsAreWrittenInPlace();
    void symlinkOutputKeepsTheLink();
    void nonAsciiNames();

private:
    std::unique_ptr<QTemporaryDir> tempDir;
    QString path(const QString &name) const { return tempDir->filePath(name); }
    QByteArray expectedTiles, expectedPalette;
};

void TestCli::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    QVERIFY(sample().save(path("in.png")));
}

void TestCli::usageAnswers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QByteArray>("err"); // the whole of stderr, or what the parser's diagnostic holds
    QTest::addColumn<bool>("parserSpoke");

    const QStringList none;
    const QByteArray noMode = "kestrine: no mode letter, one of -l, -p or -4 is needed\n";
    const auto names = [](int given) {
        return "kestrine: 3 names are needed (inputPicture outputPicture outputPalette), " + QByteArray::number(given) + " given\n";
    };
    QTest::newRow("no words") << QStringList{} << none << noMode << false;
    QTest::newRow("three words, parser not called") << QStringList{ "-x", "in.png", "out.bin" } << none << noMode << false;
    QTest::newRow("three words with a mode") << QStringList{ "-l", "in.png", "out.bin" } << none << names(2) << false;
    QTest::newRow("three names, parser not called") << QStringList{ "in.png", "out.bin", "out.pal" } << none << noMode << false;
    QTest::newRow("-h") << QStringList{ "-h", "in.png", "out.bin", "out.pal" } << none << QByteArray() << false;
    QTest::newRow("-h alone") << QStringList{ "-h" } << none << QByteArray() << false;
    QTest::newRow("-? takes the next word") << QStringList{ "-?", "in.png", "out.bin", "out.pal" } << none << QByteArray() << false;
    QTest::newRow("-? without argument") << QStringList{ "in.png", "out.bin", "out.pal", "-?" } << none << QByteArray("requires an argument") << true;
    QTest::newRow("unknown letter") << QStringList{ "-x", "in.png", "out.bin", "out.pal" } << none << QByteArray("invalid option") << true;
    QTest::newRow("-lh") << QStringList{ "-lh", "in.png", "out.bin", "out.pal" } << none << QByteArray() << false;
    QTest::newRow("-r alone") << QStringList{ "-r", "in.png", "out.bin", "out.pal" } << none << noMode << false;
    QTest::newRow("two names left") << QStringList{ "-l", "-r", "in.png", "out.bin" } << none << names(2) << false;
    QTest::newRow("hyphen name is an option") << QStringList{ "-l", "in.png", "out.bin", "-out.pal" } << none << QByteArray("invalid option") << true;
    QTest::newRow("names first, POSIXLY_CORRECT") << QStringList{ "in.png", "out.bin", "out.pal", "-l" } << QStringList{ "POSIXLY_CORRECT=1" } << noMode << false;
    QTest::newRow("unknown long option") << QStringList{ "--frobnicate", "-l", "in.png", "out.bin", "out.pal" } << none << QByteArray("unrecognized option") << true;
    QTest::newRow("unknown long option, short line") << QStringList{ "--frobnicate" } << none << QByteArray("unrecognized option") << true;
    QTest::newRow("long option with an argument it does not take") << QStringList{ "--quiet=yes", "-l", "in.png", "out.bin", "out.pal" } << none << QByteArray("doesn't allow an argument") << true;
    QTest::newRow("--quiet keeps the usage") << QStringList{ "--quiet", "-r", "in.png", "out.bin", "out.pal" } << none << noMode << false;
    QTest::newRow("--tile-base past 1023") << QStringList{ "-l", "--map", "m", "--tile-base", "1024", "in.png", "out.bin", "out.pal" } << none
                                           << QByteArray("kestrine: --tile-base takes a number from 0 to 1023, not '1024'\n") << false;
    QTest::newRow("--palette-base past 15") << QStringList{ "-l", "--map", "m", "--palette-base=16", "in.png", "out.bin", "out.pal" } << none
                                            << QByteArray("kestrine: --palette-base takes a number from 0 to 15, not '16'\n") << false;
    QTest::newRow("--tile-base not a number") << QStringList{ "-l", "--tile-base", "-1", "in.png", "out.bin", "out.pal" } << none
                                              << QByteArray("kestrine: --tile-base takes a number from 0 to 1023, not '-1'\n") << false;
    QTest::newRow("--palettes 0") << QStringList{ "-l", "--palettes", "0", "in.png", "out.bin", "out.pal" } << none
                                  << QByteArray("kestrine: --palettes takes a number from 1 to 16, not '0'\n") << false;
    QTest::newRow("--palettes 17") << QStringList{ "-l", "--palettes=17", "--map", "m", "in.png", "out.bin", "out.pal" } << none
                                   << QByteArray("kestrine: --palettes takes a number from 1 to 16, not '17'\n") << false;
    QTest::newRow("--palettes 2 without a map") << QStringList{ "-l", "--palettes", "2", "in.png", "out.bin", "out.pal" } << none
                                                << QByteArray("kestrine: --palettes 2 needs --map: without a map the tile data cannot say which palette a tile uses\n") << false;
    QTest::newRow("--map without its file") << QStringList{ "-l", "in.png", "out.bin", "out.pal", "--map" } << none << QByteArray("requires an argument") << true;
    QTest::newRow("--quiet on a short line") << QStringList{ "--quiet", "-l", "in.png" } << none << names(1) << false;
}

void TestCli::usageAnswers()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, env);
    QFETCH(QByteArray, err);
    QFETCH(bool, parserSpoke);

    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), args, 0, env);
    QCOMPARE(result.status, 255);
    QCOMPARE(result.out, usage());
    if (parserSpoke)
        QVERIFY2(result.err.contains(err) && result.err.count('\n') == 1, result.err);
    else
        QCOMPARE(result.err, err);
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestCli::longOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("out");

    const QByteArray help = usage() + "\nLong options:\n"
            "       --map FILE         also write a tile map: one 16-bit entry a cell\n"
            "       --unique           write each distinct tile once; the map refers to them\n"
            "       --flips            as --unique, and find tiles mirrored left-right or top-bottom\n"
            "       --tile-base N      the map's tile numbers start at N (0 to 1023)\n"
            "       --palette-base N   the palette number in the map's entries (0 to 15)\n"
            "       --palettes N       any picture: up to N palettes (1 to 16) built from its colours\n"
            "       --each LIST        one conversion for each line of LIST (- for standard input)\n"
            "       --quiet            no progress lines and no \"Done ...\"\n"
            "       --help             this text, with the long options\n"
            "       --version          the version\n";
    QTest::newRow("--help") << QStringList{ "--help" } << help;
    QTest::newRow("--help with a whole line") << QStringList{ "-l", "in.png", "t", "p", "--help" } << help;
    QTest::newRow("--help before a bad letter") << QStringList{ "--help", "-x" } << help;
    QTest::newRow("--version") << QStringList{ "--version" } << QByteArray("kestrine 1.1.0\n");
    QTest::newRow("--version with a whole line") << QStringList{ "--version", "-l", "in.png", "t", "p" } << QByteArray("kestrine 1.1.0\n");
}

// --help and --version answer on stdout with status 0 and write nothing.
void TestCli::longOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, out);

    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, 0);
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestCli::optionsAndNames_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("tiles");
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray linear = "Convert Colors (16 of 16)...\nConvert Image (2x1 Tiles without rotation) ...\nDone ...\n";
    const QByteArray linearTurned = "Convert Colors (16 of 16)...\nConvert Image (2x1 Tiles with rotation) ...\nDone ...\n";
    const QByteArray four = "Convert Colors (4 of 16)...\nConvert Image (2x1 Tiles without rotation) ...\nDone ...\n";

    QTest::newRow("-lr") << QStringList{ "-lr", "in.png", "t", "p" } << "lr" << "16" << linearTurned;
    QTest::newRow("-rl") << QStringList{ "-rl", "in.png", "t", "p" } << "lr" << "16" << linearTurned;
    QTest::newRow("-l -r") << QStringList{ "-l", "-r", "in.png", "t", "p" } << "lr" << "16" << linearTurned;
    QTest::newRow("option word last") << QStringList{ "in.png", "t", "p", "-lr" } << "lr" << "16" << linearTurned;
    QTest::newRow("option word between") << QStringList{ "in.png", "-l", "t", "p" } << "l" << "16" << linear;
    QTest::newRow("name without suffix finds in.png") << QStringList{ "-l", "in", "t", "p" } << "l" << "16" << linear;
    QTest::newRow("fifth word ignored") << QStringList{ "-l", "in.png", "t", "p", "extra" } << "l" << "16" << linear;
    QTest::newRow("-lp is planar") << QStringList{ "-lp", "in.png", "t", "p" } << "p" << "16" << linear;
    QTest::newRow("-4l is linear") << QStringList{ "-4l", "in.png", "t", "p" } << "l" << "16" << linear;
    QTest::newRow("-4") << QStringList{ "-4", "in.png", "t", "p" } << "4" << "4" << four;
    QTest::newRow("-- then a hyphen name") << QStringList{ "-l", "--", "-odd.png", "t", "p" } << "l" << "16" << linear;
    QTest::newRow("--quiet") << QStringList{ "--quiet", "-lr", "in.png", "t", "p" } << "lr" << "16" << QByteArray();
    QTest::newRow("--quiet after the names") << QStringList{ "-4", "in.png", "t", "p", "--quiet" } << "4" << "4" << QByteArray();
}

// Tile data of sample() by the plain rules: "l", "lr", "p", "4" and so on.
static QByteArray sampleTiles(const QString &layout)
{
    return Reference::tiles(sample(), modeOfLetter(layout[0].toLatin1()), layout.endsWith('r'));
}

static QByteArray samplePalette(int count) { return Reference::palette(sample().colorTable(), count); }

void TestCli::optionsAndNames()
{
    QFETCH(QStringList, args);
    QFETCH(QString, tiles);
    QFETCH(QString, palette);
    QFETCH(QByteArray, expected);

    if (args.contains("-odd.png"))
        QVERIFY(QFile::rename(path("in.png"), path("-odd.png")));
    const Result result = runTool(tempDir->path(), args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, expected);
    QCOMPARE(result.status, 0);
    QCOMPARE(read(path("t")).toHex(' '), sampleTiles(tiles).toHex(' '));
    QCOMPARE(read(path("p")).toHex(' '), samplePalette(palette.toInt()).toHex(' '));
}

void TestCli::rejectedPictureTouchesNothing_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("outputsExist");
    QTest::addColumn<QByteArray>("error");

    for (bool exist : { false, true }) {
        const char *suffix = exist ? ", outputs exist" : ", no outputs";
        QTest::addRow("missing input%s", suffix) << "missing.png" << exist << QByteArray("Kestrine::readImage(): Unsupported Pictureformat!\n");
        QTest::addRow("undecodable%s", suffix) << "garbage.png" << exist << QByteArray("Kestrine::readImage(): Unsupported Pictureformat!\n");
        QTest::addRow("true colour%s", suffix) << "rgb.png" << exist << QByteArray("Kestrine::readImage(): Unsupported Colorformat, only 4 or 16 Colors allowed!\n");
        QTest::addRow("2 colours%s", suffix) << "two.bmp" << exist << QByteArray("Kestrine::readImage(): Unsupported count of Colors 2, only 4 or 16 allowed!\n");
        QTest::addRow("7 wide%s", suffix) << "narrow.png" << exist << QByteArray("Kestrine::readImage(): Picture is to small, lowest size is 8x8 Pixel!\n");
    }
}

void TestCli::rejectedPictureTouchesNothing()
{
    QFETCH(QString, input);
    QFETCH(bool, outputsExist);
    QFETCH(QByteArray, error);

    QVERIFY(QImage(16, 16, QImage::Format_RGB32).save(path("rgb.png")));
    QVERIFY(sample(2).save(path("two.bmp")));
    QVERIFY(sample(16, 7, 8).save(path("narrow.png")));
    write(path("garbage.png"), "\x89PNG\r\n\x1a\nnot really");
    if (outputsExist) {
        write(path("t.bin"), "earlier tiles");
        write(path("p.pal"), "earlier palette");
    }
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), { "-p", input, "t.bin", "p.pal" });
    QCOMPARE(result.status, 253);
    // libpng may say why it gave up before the tool's own line.
    QVERIFY2(result.err.endsWith(error) && result.err.count("Kestrine") == 1, result.err);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestCli::unopenableOutput_data()
{
    QTest::addColumn<QString>("tiles");
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("tile data folder missing") << "nowhere/t.bin" << "p.pal" << QByteArray("Cant open outputFile (Picture) 'nowhere/t.bin'!\n");
    QTest::newRow("tile data is a folder") << "folder" << "p.pal" << QByteArray("Cant open outputFile (Picture) 'folder'!\n");
    QTest::newRow("palette folder missing") << "t.bin" << "nowhere/p.pal" << QByteArray("Cant open outputFile (Palette) 'nowhere/p.pal'!\n");
    QTest::newRow("palette is a folder") << "t.bin" << "folder" << QByteArray("Cant open outputFile (Palette) 'folder'!\n");
}

void TestCli::unopenableOutput()
{
    QFETCH(QString, tiles);
    QFETCH(QString, palette);
    QFETCH(QByteArray, error);

    QVERIFY(QDir(tempDir->path()).mkdir("folder"));
    write(path("t.bin"), "earlier tiles");
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), { "-l", "in.png", tiles, palette });
    QCOMPARE(result.status, 254);
    QCOMPARE(result.err, error);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestCli::writeFailureTouchesNothing_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("outputsExist");

    // 128x64 gives 4 KiB of tile data, still in Qt's buffer when the step ends; 512x256 gives 64 KiB.
    QTest::newRow("buffered, no outputs") << 128 << false;
    QTest::newRow("buffered, outputs exist") << 128 << true;
    QTest::newRow("streamed, no outputs") << 512 << false;
    QTest::newRow("streamed, outputs exist") << 512 << true;
}

void TestCli::writeFailureTouchesNothing()
{
    QFETCH(int, width);
    QFETCH(bool, outputsExist);

    QVERIFY(sample(16, width, width / 2).save(path("big.png")));
    if (outputsExist) {
        write(path("t.bin"), "earlier tiles");
        write(path("p.pal"), "earlier palette");
    }
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), { "-pr", "big.png", "t.bin", "p.pal" }, 1000);
    QCOMPARE(result.status, 253);
    QCOMPARE(result.err, QByteArray("Cant write outputFile (Picture) 't.bin'!\n"));
    QVERIFY(!result.out.contains("Done"));
    QCOMPARE(snapshot(tempDir->path()), before);
}

void TestCli::paletteWriteFailure()
{
    // Tile data goes to a FIFO, which the size limit does not cover; the 32-byte palette does not fit.
    QVERIFY(mkfifo(qPrintable(path("tiles.fifo")), 0600) == 0);
    const int reader = open(qPrintable(path("tiles.fifo")), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    write(path("p.pal"), "earlier palette");
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), { "-l", "in.png", "tiles.fifo", "p.pal" }, 16);
    char byte;
    const ssize_t got = ::read(reader, &byte, 1);
    close(reader);
    QCOMPARE(result.status, 253);
    QCOMPARE(result.err, QByteArray("Cant write outputFile (Palette) 'p.pal'!\n"));
    QCOMPARE(result.out, QByteArray("Convert Colors (16 of 16)...\n"));
    QCOMPARE(snapshot(tempDir->path()), before);
    QVERIFY(got <= 0);
}

void TestCli::fifoOutputsAreWrittenInPlace()
{
    QVERIFY(mkfifo(qPrintable(path("t.fifo")), 0600) == 0);
    QVERIFY(mkfifo(qPrintable(path("p.fifo")), 0600) == 0);
    const int tiles = open(qPrintable(path("t.fifo")), O_RDONLY | O_NONBLOCK);
    const int palette = open(qPrintable(path("p.fifo")), O_RDONLY | O_NONBLOCK);
    QVERIFY(tiles >= 0 && palette >= 0);
    const Result result = runTool(tempDir->path(), { "-4", "in.png", "t.fifo", "p.fifo" });
    QByteArray tileBytes(4096, 0), paletteBytes(4096, 0);
    tileBytes.resize(qMax<ssize_t>(0, ::read(tiles, tileBytes.data(), tileBytes.size())));
    paletteBytes.resize(qMax<ssize_t>(0, ::read(palette, paletteBytes.data(), paletteBytes.size())));
    close(tiles);
    close(palette);
    QCOMPARE(result.status, 0);
    QCOMPARE(tileBytes, sampleTiles("4"));
    QCOMPARE(paletteBytes, samplePalette(4));
    struct stat info;
    QVERIFY(stat(qPrintable(path("t.fifo")), &info) == 0 && S_ISFIFO(info.st_mode));
    QVERIFY(stat(qPrintable(path("p.fifo")), &info) == 0 && S_ISFIFO(info.st_mode));
}

// The same-file guard covers regular files only: one FIFO may take both outputs, palette first.
void TestCli::oneFifoForBothOutputs()
{
    QVERIFY(mkfifo(qPrintable(path("both.fifo")), 0600) == 0);
    const int reader = open(qPrintable(path("both.fifo")), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const Result result = runTool(tempDir->path(), { "-4", "in.png", "both.fifo", "both.fifo" });
    QByteArray bytes(4096, 0);
    bytes.resize(qMax<ssize_t>(0, ::read(reader, bytes.data(), bytes.size())));
    close(reader);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    QCOMPARE(bytes.toHex(' '), (samplePalette(4) + sampleTiles("4")).toHex(' '));
}

void TestCli::symlinkOutputKeepsTheLink()
{
    write(path("target.bin"), "earlier tiles");
    QVERIFY(QFile::link("target.bin", path("link.bin")));
    const Result result = runTool(tempDir->path(), { "-l", "in.png", "link.bin", "p" });
    QCOMPARE(result.status, 0);
    QVERIFY(QFileInfo(path("link.bin")).isSymLink());
    QCOMPARE(read(path("target.bin")), sampleTiles("l"));
}

void TestCli::nonAsciiNames()
{
    const QString input = QString::fromUtf8("bild-\xc3\xa4.png");
    QVERIFY(QFile::rename(path("in.png"), path(input)));
    const QString tiles = QString::fromUtf8("kacheln-\xc3\xb8.bin");
    Result result = runTool(tempDir->path(), { "-l", input, tiles, QString::fromUtf8("\xe2\x82\xac.pal") });
    QCOMPARE(result.status, 0);
    QCOMPARE(read(path(tiles)), sampleTiles("l"));
    QCOMPARE(read(path(QString::fromUtf8("\xe2\x82\xac.pal"))), samplePalette(16));

    result = runTool(tempDir->path(), { "-l", input, QString::fromUtf8("n\xc3\xb6/t"), "p" });
    QCOMPARE(result.status, 254);
    QCOMPARE(result.err, QByteArray("Cant open outputFile (Picture) 'n\xc3\xb6/t'!\n"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

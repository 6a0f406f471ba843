#include "picture.h"
#include "pictures.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

static int pattern(int x, int y) { return (x * 3 + y * 5 + x * y) % 16; }

static bool holdsAll(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return buffer.open(QIODevice::ReadOnly) && holdsAllPixels(&buffer);
}

class TestPicture : public QObject
{
    Q_OBJECT

private slots:
    void wholeBmpLoads_data();
    void wholeBmpLoads();
    void cutBmpIsRefused_data();
    void cutBmpIsRefused();
    void runLengthGaps_data();
    void runLengthGaps();
    void oddHeaderIsRefused_data();
    void oddHeaderIsRefused();
    void otherFormatsAreLeftToQt();
    void sizeClaims_data();
    void sizeClaims();
};

void TestPicture::wholeBmpLoads_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("compression");

    QTest::newRow("4-bit") << 4 << int(Uncompressed);
    QTest::newRow("8-bit") << 8 << int(Uncompressed);
    QTest::newRow("RLE8") << 8 << int(Rle8);
    QTest::newRow("RLE4") << 4 << int(Rle4);
}

// The check must not refuse what a decoder reads in full.
void TestPicture::wholeBmpLoads()
{
    QFETCH(int, bits);
    QFETCH(int, compression);

    // 13 wide: odd, so RLE4 ends every row on a single pixel and rows need padding.
    const QByteArray file = bmp(13, 9, bits, 16, pattern, BmpCompression(compression));
    QVERIFY(holdsAll(file));
    const QImage image = loadPicture(file);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.size(), QSize(13, 9));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            QCOMPARE(image.pixelIndex(x, y), pattern(x, y));
}

void TestPicture::cutBmpIsRefused_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("keep"); // bytes of pixel data kept; negative: that many cut off the end
    QTest::addColumn<bool>("qtDecodes"); // what Qt 6.4 makes of the cut file on its own

    for (auto [name, bits, compression] : { std::tuple("4-bit", 4, Uncompressed), std::tuple("8-bit", 8, Uncompressed),
                                           std::tuple("RLE8", 8, Rle8), std::tuple("RLE4", 4, Rle4) }) {
        QTest::addRow("%s, no pixel data", name) << bits << int(compression) << 0 << false;
        QTest::addRow("%s, half the pixel data", name) << bits << int(compression) << -(bits * 13 * 9 / 16) << true;
        // Uncompressed: the padding of the last row (13 pixels in 4 bytes) is part of it.
        QTest::addRow("%s, last byte missing", name) << bits << int(compression) << -1 << true;
    }
    // The stream holds every pixel but stops before the end-of-bitmap mark.
    QTest::newRow("RLE8, no end-of-bitmap mark") << 8 << int(Rle8) << -2 << true;
    QTest::newRow("RLE4, no end-of-bitmap mark") << 4 << int(Rle4) << -2 << true;
    QTest::newRow("RLE8, last run cut") << 8 << int(Rle8) << -3 << true;
}

void TestPicture::cutBmpIsRefused()
{
    QFETCH(int, bits);
    QFETCH(int, compression);
    QFETCH(int, keep);
    QFETCH(bool, qtDecodes);

    const QByteArray whole = bmp(13, 9, bits, 16, pattern, BmpCompression(compression));
    const QByteArray cut = keep >= 0 ? whole.left(bmpPixelOffset(16) + keep) : whole.chopped(-keep);
    QCOMPARE(!QImage::fromData(cut).isNull(), qtDecodes);
    QVERIFY(!holdsAll(cut));
    QVERIFY(loadPicture(cut).isNull());
}

void TestPicture::runLengthGaps_data()
{
    QTest::addColumn<QByteArray>("stream"); // RLE8 pixel data of a 4x2 picture
    QTest::addColumn<bool>("whole");

    QTest::newRow("every row, then the mark") << QByteArray::fromHex("0401 0000 0402 0001") << true;
    QTest::newRow("every row ended, no mark") << QByteArray::fromHex("0401 0000 0402 0000") << true;
    QTest::newRow("literal run") << QByteArray::fromHex("0003 010203 00 0101 0000 0402 0001") << true;
    QTest::newRow("mark before the last row") << QByteArray::fromHex("0401 0000 0001") << false;
    QTest::newRow("row ended short") << QByteArray::fromHex("0301 0000 0402 0001") << false;
    QTest::newRow("delta skips pixels") << QByteArray::fromHex("0002 0101 0302 0001") << false;
    QTest::newRow("literal run cut") << QByteArray::fromHex("0401 0000 0004 0102") << false;
    QTest::newRow("run past the row") << QByteArray::fromHex("0501 0000 0402 0001") << false;
    // Found by fuzzing: Qt reads the literal run's last two bytes as the end-of-bitmap mark and
    // leaves the top row unwritten.
    QTest::newRow("literal run past the row") << QByteArray::fromHex("0006 010203010001 0000 0402 0001") << false;
}

// Pixels a run-length stream never reaches are as undefined as missing rows.
void TestPicture::runLengthGaps()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, whole);

    QByteArray file = bmp(4, 2, 8, 4, pattern, Rle8).left(bmpPixelOffset(4)) + stream;
    putLe32(file, 2, quint32(file.size()));
    putLe32(file, 34, quint32(stream.size()));
    QCOMPARE(holdsAll(file), whole);
    QCOMPARE(loadPicture(file).isNull(), !whole);
}

void TestPicture::oddHeaderIsRefused_data()
{
    QTest::addColumn<QByteArray>("file");

    // Found by fuzzing: a 16-byte info header that Qt reads as a 23296x1024 RLE4 picture, and
    // decodes from 54 bytes of stream into a picture of leftover memory.
    QTest::newRow("16-byte header") << QByteArray::fromHex(
            "424d96010000000000002800000010000000005b0004010004000200000020010000130b0000130b0010"
            "0000000010000000000000ff08ef100050ffffffffffffffffffffffffffffffffffffffffff0000000000"
            "00280000005bffff02f1023c2802ff");
    QByteArray bigger = bmp(13, 9, 8, 16, pattern);
    putLe32(bigger, 14, 52);
    QTest::newRow("52-byte header") << bigger;
}

void TestPicture::oddHeaderIsRefused()
{
    QFETCH(QByteArray, file);

    QVERIFY(!holdsAll(file));
    QVERIFY(loadPicture(file).isNull());
}

void TestPicture::otherFormatsAreLeftToQt()
{
    QByteArray png;
    QBuffer buffer(&png);
    QImage image(16, 16, QImage::Format_Indexed8);
    image.setColorTable(colourTable(16));
    image.fill(3);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    QVERIFY(holdsAll(png));
    QVERIFY(holdsAll(png.left(png.size() / 2)));
    QCOMPARE(loadPicture(png), image);
    QVERIFY(loadPicture(png.left(png.size() / 2)).isNull());
    QVERIFY(holdsAll(QByteArray()));
    QVERIFY(!holdsAll("BM"));
}

void TestPicture::sizeClaims_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("loads");

    QTest::newRow("8x100000") << 8 << 100000 << true;
    QTest::newRow("100000x8") << 100000 << 8 << true;
    QTest::newRow("100000x100000") << 100000 << 100000 << false;
    QTest::newRow("32769x32768") << 32769 << 32768 << false;
}

// A header is taken at its word only as far as the area goes: long strips of tiles are pictures
// too, a claim of billions of pixels is refused before anything is allocated.
void TestPicture::sizeClaims()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, loads);

    // Only the header claims the size when the picture is refused; the data is one row.
    const QByteArray file = loads ? png4(width, height, 4, [](int x, int y) { return (x + y) % 4; })
                                  : png4(8, 1, 4, pattern, width, height);
    const QImage image = loadPicture(file);
    QCOMPARE(image.isNull(), !loads);
    if (loads)
        QCOMPARE(image.size(), QSize(width, height));
}

QTEST_GUILESS_MAIN(TestPicture)
#include "tst_picture.moc"

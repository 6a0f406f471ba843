#include "batch.h"
#include "pictures.h"
#include "toolrun.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

using Words = QList<QByteArray>;

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void splitWords_data();
    void splitWords();
    void readLines();
    void sameAsAlone_data();
    void sameAsAlone();
    void refused_data();
    void refused();
    void quietList();

private:
    std::unique_ptr<QTemporaryDir> tempDir;
    QString path(const QString &name) const { return tempDir->filePath(name); }
    void makePictures();
};

void TestBatch::splitWords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Words>("words");
    QTest::addColumn<QByteArray>("why");

    QTest::newRow("blanks and tabs") << QByteArray("  -l\ta.png   b.bin c.pal ") << Words{ "-l", "a.png", "b.bin", "c.pal" } << QByteArray();
    QTest::newRow("single quotes keep everything") << QByteArray("'a b' '\\\"$x' c'd'e") << Words{ "a b", "\\\"$x", "cde" } << QByteArray();
    QTest::newRow("double quotes") << QByteArray("\"a b\" \"x\\\"y\" \"\\n\\\\\" \"it's\"") << Words{ "a b", "x\"y", "\\n\\", "it's" } << QByteArray();
    QTest::newRow("backslash outside quotes") << QByteArray("a\\ b c\\'d \\#e") << Words{ "a b", "c'd", "#e" } << QByteArray();
    QTest::newRow("empty quotes are a word") << QByteArray("a '' \"\" b") << Words{ "a", "", "", "b" } << QByteArray();
    QTest::newRow("a comment") << QByteArray("  # all of it") << Words{} << QByteArray();
    QTest::newRow("a comment after words") << QByteArray("-l a.png #x b") << Words{ "-l", "a.png" } << QByteArray();
    QTest::newRow("# inside a word") << QByteArray("a#b 'c'#d") << Words{ "a#b", "c#d" } << QByteArray();
    QTest::newRow("nothing is expanded") << QByteArray("$HOME ~ *.png") << Words{ "$HOME", "~", "*.png" } << QByteArray();
    QTest::newRow("blank line") << QByteArray("   ") << Words{} << QByteArray();
    QTest::newRow("single quote open") << QByteArray("-l 'a.png b c") << Words{} << QByteArray("a single quote is not closed");
    QTest::newRow("double quote open") << QByteArray("-l \"a.png\\\"") << Words{} << QByteArray("a double quote is not closed");
    QTest::newRow("backslash at the end") << QByteArray("-l a.png\\") << Words{} << QByteArray("a backslash ends the line");
}

void TestBatch::splitWords()
{
    QFETCH(QByteArray, line);
    QFETCH(Words, words);
    QFETCH(QByteArray, why);

    Words split;
    std::string reason;
    QCOMPARE(Batch::splitWords(line, split, reason), why.isEmpty());
    QCOMPARE(QByteArray::fromStdString(reason), why);
    if (why.isEmpty())
        QCOMPARE(split, words);
}

// Blank lines and comments are left out but counted; a Windows line end is dropped.
void TestBatch::readLines()
{
    QByteArray text = "# list\r\n\r\n-l a b c\r\n  \n-p 'd e' f g\n-l 'open\n";
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const std::vector<Batch::Line> lines = Batch::readLines(buffer);
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(lines[0].number, 3);
    QCOMPARE(lines[0].words, (Words{ "-l", "a", "b", "c" }));
    QCOMPARE(lines[1].number, 5);
    QCOMPARE(lines[1].words, (Words{ "-p", "d e", "f", "g" }));
    QCOMPARE(lines[2].number, 6);
    QCOMPARE(lines[2].why, std::string("a single quote is not closed"));
}

void TestBatch::makePictures()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    QVERIFY(QDir(tempDir->path()).mkpath("in"));
    QVERIFY(indexedImage(16, 16, 16, [](int x, int y) { return (x * 3 + y) % 16; }).save(path("in/a.png")));
    QVERIFY(indexedImage(24, 8, 4, [](int x, int y) { return (x + y) % 4; }).save(path("in/b c.png")));
    QVERIFY(trueColorImage(16, 8, [](int x, int y) { return qRgb(x % 4 * 64, y % 4 * 64, 255); }).save(path("in/rgb.png")));
}

void TestBatch::sameAsAlone_data()
{
    QTest::addColumn<QList<QStringList>>("lines"); // each line's words; a line with one word is written as it is
    QTest::addColumn<int>("status");

    const QList<QStringList> mixed = {
        { "# converted one by one" },
        { "-l", "in/a.png", "a.bin", "a.pal" },
        { "" },
        { "-4r", "--map", "bc.map", "--flips", "in/b c.png", "bc.bin", "bc.pal" },
        { "-l", "in/missing.png", "m.bin", "m.pal" },
        { "-x", "in/a.png", "x.bin", "x.pal" },
        { "-p", "--palettes", "1", "in/rgb.png", "rgb.bin", "rgb.pal" },
        { "-l", "in/a.png", "in/a.png", "a2.pal" },
        { "--quiet", "-pr", "in/a.png", "q.bin", "q.pal" },
    };
    QTest::newRow("good, bad, missing, quoted, refused") << mixed << 253;
    // Line 2 reads what line 1 wrote before line 3 writes over it.
    const QList<QStringList> chained = {
        { "-l", "in/a.png", "first.bin", "first.pal" },
        { "-l", "--map", "first.map", "in/a.png", "first.bin", "second.pal" },
        { "-p", "in/b c.png", "in/a.png", "third.pal" },
    };
    QTest::newRow("a later line writes what an earlier one read") << chained << 0;
    QTest::newRow("all good") << QList<QStringList>{ mixed[1], mixed[3], mixed[6] } << 0;
}

// Every line does exactly what the same words do on a command line of their own: the same
// files, the same console lines; the list adds a line for each failure and a summary.
void TestBatch::sameAsAlone()
{
    QFETCH(QList<QStringList>, lines);
    QFETCH(int, status);

    makePictures();
    QByteArray list;
    for (const QStringList &words : lines) {
        QStringList quoted;
        for (const QString &word : words)
            quoted << (words.size() == 1 ? word : "'" + word + "'");
        list += quoted.join(' ').toUtf8() + "\n";
    }
    // The same folder twice: one for the list, one for the lines run alone.
    QTemporaryDir aloneDir;
    QVERIFY(QDir(aloneDir.path()).mkpath("in"));
    for (const QString &name : QDir(path("in")).entryList(QDir::Files))
        QVERIFY(QFile::copy(path("in/" + name), aloneDir.filePath("in/" + name)));
    write(path("list"), list);
    write(aloneDir.filePath("list"), list);

    QByteArray out, err;
    int firstStatus = 0, firstLine = 0, failed = 0, conversions = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].size() == 1)
            continue;
        ++conversions;
        const Result alone = runTool(aloneDir.path(), lines[i]);
        out += alone.out;
        err += alone.err;
        if (alone.status != 0) {
            const int signedStatus = qint8(alone.status);
            err += "kestrine: line " + QByteArray::number(i + 1) + " of 'list' failed with status " + QByteArray::number(signedStatus) + "\n";
            if (failed++ == 0)
                firstStatus = alone.status, firstLine = i + 1;
        }
    }
    if (failed)
        err += "kestrine: " + QByteArray::number(failed) + " of " + QByteArray::number(conversions)
                + " conversions failed (first at line " + QByteArray::number(firstLine) + ")\n";
    else
        out += "Done " + QByteArray::number(conversions) + " of " + QByteArray::number(conversions) + " ...\n";
    QCOMPARE(firstStatus, status);

    const Result result = runTool(tempDir->path(), { "--each", "list" });
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
    QCOMPARE(snapshot(path("in")), snapshot(aloneDir.filePath("in")));
    QCOMPARE(snapshot(tempDir->path()), snapshot(aloneDir.path()));
}

void TestBatch::refused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<bool>("usage");

    const QByteArray alone = "kestrine: --each takes no other option but --quiet, and no names: they stand in the list\n";
    const QByteArray good = "-l in/a.png a.bin a.pal\n";
    QTest::newRow("with a mode letter") << QStringList{ "--each", "list", "-l" } << good << 255 << alone << true;
    QTest::newRow("with a name") << QStringList{ "--each", "list", "extra" } << good << 255 << alone << true;
    QTest::newRow("with a map") << QStringList{ "--map", "m", "--each", "list" } << good << 255 << alone << true;
    QTest::newRow("list missing") << QStringList{ "--each", "missing.list" } << good << 254 << QByteArray("Cant open inputFile (List) 'missing.list'!\n") << false;
    QTest::newRow("list is a folder") << QStringList{ "--each", "in" } << good << 254 << QByteArray("Cant open inputFile (List) 'in'!\n") << false;
    QTest::newRow("a line writes over the list") << QStringList{ "--each", "list" } << QByteArray("-l in/a.png ./list x.pal\n") << 254
            << QByteArray("Cant write outputFile (Picture) './list', it is the same file as inputFile (List) 'list'!\n"
                          "kestrine: line 1 of 'list' failed with status -2\n"
                          "kestrine: 1 of 1 conversions failed (first at line 1)\n") << false;
    QTest::newRow("--each in a list") << QStringList{ "--each", "list" } << QByteArray("--each list\n") << 255
            << QByteArray("kestrine: --each cannot stand in a list\n"
                          "kestrine: line 1 of 'list' failed with status -1\n"
                          "kestrine: 1 of 1 conversions failed (first at line 1)\n") << true;
    QTest::newRow("a quote left open") << QStringList{ "--each", "list" } << QByteArray("\n-l \"in/a.png a.bin a.pal\n") << 255
            << QByteArray("kestrine: line 2 of 'list': a double quote is not closed\n"
                          "kestrine: line 2 of 'list' failed with status -1\n"
                          "kestrine: 1 of 1 conversions failed (first at line 2)\n") << true;
}

// Refused lists and list lines: one line says why, and every file stays as it was.
void TestBatch::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, list);
    QFETCH(int, status);
    QFETCH(QByteArray, err);
    QFETCH(bool, usage);

    makePictures();
    write(path("list"), list);
    const QStringList before = snapshot(tempDir->path());
    const Result result = runTool(tempDir->path(), args);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
    QCOMPARE(result.out.startsWith("Usage: "), usage);
    QCOMPARE(snapshot(tempDir->path()), before);
}

// --quiet before --each quietens every line and the summary; the list may come on stdin.
void TestBatch::quietList()
{
    makePictures();
    const QByteArray list = "-l in/a.png a.bin a.pal\n-4 --map m.map 'in/b c.png' b.bin b.pal\n";
    const Result result = runTool(tempDir->path(), { "--quiet", "--each", "-" }, 0, {}, {}, list);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.status, 0);
    for (const char *name : { "a.bin", "a.pal", "b.bin", "b.pal", "m.map" })
        QVERIFY2(QFileInfo(path(name)).size() > 0, name);

    const Result loud = runTool(tempDir->path(), { "--each", "-" }, 0, {}, {}, list);
    QVERIFY2(loud.out.endsWith("Done ...\nDone 2 of 2 ...\n"), loud.out);
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"

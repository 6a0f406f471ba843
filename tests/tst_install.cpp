#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

struct Result
{
    int status = -1;
    QByteArray out, err;
};

static Result run(const QString &program, const QStringList &args, const QString &dir = {},
                  const QStringList &extraEnv = {})
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setEnvironment(QProcess::systemEnvironment() + extraEnv);
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return { -1, {}, process.errorString().toLocal8Bit() };
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

// Installs the build tree into a temporary prefix once, and tries what landed there.
class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void usageFromPrefix_data();
    void usageFromPrefix();
    void convertAndViewFromPrefix();
    void manPageRenders_data();
    void manPageRenders();

private:
    QTemporaryDir prefix;
    QString installed(const QString &name) const { return prefix.filePath(name); }
};

void TestInstall::initTestCase()
{
    QVERIFY(prefix.isValid());
    const Result result = run(QStringLiteral(CMAKE_COMMAND),
                              { "--install", QStringLiteral(KESTRINE_BUILD_DIR), "--prefix", prefix.path() });
    QVERIFY2(result.status == 0, result.out + result.err);
}

void TestInstall::installedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");

    QTest::newRow("converter") << "bin/kestrine" << true;
    QTest::newRow("viewer") << "bin/kestrine-view" << true;
    QTest::newRow("converter page") << "share/man/man1/kestrine.1" << false;
    QTest::newRow("viewer page") << "share/man/man1/kestrine-view.1" << false;
}

void TestInstall::installedFiles()
{
    QFETCH(QString, file);
    QFETCH(bool, executable);

    const QFileInfo info(installed(file));
    QVERIFY2(info.isFile(), qPrintable(file));
    QCOMPARE(info.isExecutable(), executable);
}

void TestInstall::usageFromPrefix_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QByteArray>("synopsis");

    QTest::newRow("converter") << "bin/kestrine" << QByteArray(" -[l4rph?] inputPicture outputPicture outputPalette\n");
    QTest::newRow("viewer") << "bin/kestrine-view" << QByteArray(" -[l4prh?] [-w tilesAcross] tileData palette outputPicture\n");
}

void TestInstall::usageFromPrefix()
{
    QFETCH(QString, tool);
    QFETCH(QByteArray, synopsis);

    const Result result = run(installed(tool), {});
    QCOMPARE(result.status, 255);
    QVERIFY2(result.out.startsWith("Usage: " + installed(tool).toLocal8Bit() + synopsis), result.out);
}

void TestInstall::convertAndViewFromPrefix()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QImage source(16, 8, QImage::Format_Indexed8);
    source.setColorTable({ qRgb(0, 0, 0), qRgb(0xF0, 0, 0), qRgb(0, 0xF0, 0), qRgb(0, 0, 0xF0) });
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            source.setPixel(x, y, uint((x + y) % 4));
    QVERIFY(source.save(work.filePath("in.png")));

    Result result = run(installed("bin/kestrine"), { "-4r", "in.png", "t.bin", "p.pal" }, work.path());
    QVERIFY2(result.status == 0, result.err);
    result = run(installed("bin/kestrine-view"), { "-4r", "t.bin", "p.pal", "view.png" }, work.path());
    QVERIFY2(result.status == 0, result.err);
    QVERIFY(result.out.endsWith("Done ...\n"));
    const QImage view(work.filePath("view.png"));
    QCOMPARE(view.size(), source.size());
    QCOMPARE(view.colorTable(), QList<QRgb>({ qRgb(0, 0, 0), qRgb(0xFF, 0, 0), qRgb(0, 0xFF, 0), qRgb(0, 0, 0xFF) }));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(view.pixelIndex(x, y), source.pixelIndex(x, y));
}

void TestInstall::manPageRenders_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QByteArray>("nameLine");

    QTest::newRow("kestrine.1") << "share/man/man1/kestrine.1" << QByteArray("kestrine - convert an indexed picture");
    QTest::newRow("kestrine-view.1") << "share/man/man1/kestrine-view.1" << QByteArray("kestrine-view - draw tile data");
}

void TestInstall::manPageRenders()
{
    QFETCH(QString, page);
    QFETCH(QByteArray, nameLine);

    const QString man = QStandardPaths::findExecutable("man");
    if (man.isEmpty())
        QFAIL("man is missing; scripts/setup installs man-db");
    // groff's warnings come out on stderr, so a markup slip fails here.
    const Result result = run(man, { "--warnings", "-l", installed(page) }, prefix.path(),
                              { "MANWIDTH=80", "MANPAGER=cat", "PAGER=cat", "LC_ALL=C.UTF-8" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.contains(nameLine), result.out);
    for (const char *section : { "\nNAME\n", "\nSYNOPSIS\n", "\nOPTIONS\n", "\nFORMAT\n", "\nEXIT STATUS\n", "\nEXAMPLE\n" })
        QVERIFY2(result.out.contains(section), section);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"

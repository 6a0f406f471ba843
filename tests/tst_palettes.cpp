#include "palettes.h"

#include <QTest>

class TestPalettes : public QObject
{
    Q_OBJECT

private slots:
    void oneSetOnePalette();
};

void TestPalettes::oneSetOnePalette()
{
    QCOMPARE(Palettes::pack({ { 1, 2, 3 } }, 16), std::vector<int>{ 0 });
}

QTEST_GUILESS_MAIN(TestPalettes)
#include "tst_palettes.moc"

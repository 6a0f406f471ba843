#include "colorsets.h"
#include "palettes.h"

#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

Q_DECLARE_METATYPE(Sets)

// Why a packing breaks the contract, or an empty string when it keeps it.
static QString fault(const Sets &sets, int capacity, const std::vector<int> &palettes)
{
    if (palettes.size() != sets.size())
        return QStringLiteral("%1 palettes for %2 sets").arg(palettes.size()).arg(sets.size());
    std::vector<std::set<int>> unions;
    for (size_t i = 0; i < sets.size(); ++i) {
        const int p = palettes[i];
        if (p < 0 || p > int(unions.size()))
            return QStringLiteral("set %1 is in palette %2 before palette %3 is used")
                .arg(i)
                .arg(p)
                .arg(unions.size());
        if (p == int(unions.size()))
            unions.emplace_back();
        unions[p].insert(sets[i].begin(), sets[i].end());
        if (int(unions[p].size()) > capacity)
            return QStringLiteral("palette %1 holds over %2 colours").arg(p).arg(capacity);
    }
    return QString();
}

static int count(const std::vector<int> &palettes)
{
    return palettes.empty() ? 0 : *std::max_element(palettes.begin(), palettes.end()) + 1;
}

static std::vector<int> range(int from, int to)
{
    std::vector<int> set(to - from);
    std::iota(set.begin(), set.end(), from);
    return set;
}

class TestPalettes : public QObject
{
    Q_OBJECT

private slots:
    void fewest_data();
    void fewest();
    void firstUseNumbering_data();
    void firstUseNumbering();
    void drawnFromPalettes_data();
    void drawnFromPalettes();
    void deterministic_data();
    void deterministic();
};

void TestPalettes::fewest_data()
{
    QTest::addColumn<Sets>("sets");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("palettes");

    QTest::newRow("no sets") << Sets() << 16 << 0;
    QTest::newRow("only empty sets") << Sets { {}, {} } << 16 << 1;
    QTest::newRow("empty among others") << Sets { {}, { 1, 2 }, {} } << 16 << 1;
    QTest::newRow("exactly full") << Sets { range(0, 16) } << 16 << 1;
    QTest::newRow("one colour too many") << Sets { range(0, 16), { 16 } } << 16 << 2;
    QTest::newRow("singletons fill palettes") << [] {
        Sets sets;
        for (int c = 0; c < 32; ++c)
            sets.push_back({ c });
        return sets;
    }() << 16 << 2;
    // First fit puts the two pairs together, then needs a palette for each four.
    QTest::newRow("first fit in 4 colours")
        << Sets { { 1, 2 }, { 5, 6 }, { 1, 2, 3, 4 }, { 5, 6, 7, 8 } } << 4 << 2;
    QTest::newRow("first fit in 3 colours")
        << Sets { { 1, 2 }, { 4 }, { 3 }, { 5, 6 }, { 1, 2, 3 } } << 3 << 2;
    QTest::newRow("duplicates and subsets")
        << Sets { { 1, 2, 3 }, { 4, 5 }, { 3, 2, 1 }, { 1 }, { 2, 3 }, {}, { 5 }, { 4, 5 } } << 4 << 2;
    // 45 colours in 3 palettes of 15 leave no slot free; largest first needs a fourth.
    QTest::newRow("perfect fit") << [] {
        Sets sets;
        int next = 0;
        for (int size : { 7, 6, 6, 5, 5, 4, 4, 4, 4 }) {
            sets.push_back(range(next, next + size));
            next += size;
        }
        return sets;
    }() << 15 << 3;
    // {1,2,3} and {3,4} share 3, yet the only packing in 2 parts them: {1,2,3,9,10,11} and
    // {3,4,5,6,7,8}.
    QTest::newRow("sharing sets apart")
        << Sets { { 1, 2, 3 }, { 3, 4 }, { 5, 6, 7, 8 }, { 9, 10, 11 } } << 6 << 2;
}

void TestPalettes::fewest()
{
    QFETCH(Sets, sets);
    QFETCH(int, capacity);
    QFETCH(int, palettes);

    const std::vector<int> packed = Palettes::pack(sets, capacity);
    QCOMPARE(fault(sets, capacity, packed), QString());
    QCOMPARE(count(packed), palettes);
}

void TestPalettes::firstUseNumbering_data()
{
    QTest::addColumn<Sets>("sets");
    QTest::addColumn<QList<int>>("palettes");

    // Each has one best packing, so the numbers are known.
    QTest::newRow("back and forth")
        << Sets { { 5, 6, 7, 8 }, { 1, 2 }, { 5 }, { 1, 2, 3, 4 } } << QList<int> { 0, 1, 0, 1 };
    QTest::newRow("small first")
        << Sets { { 8 }, { 1, 2, 3, 4 }, { 5, 6, 7, 8 } } << QList<int> { 0, 1, 0 };
}

void TestPalettes::firstUseNumbering()
{
    QFETCH(Sets, sets);
    QFETCH(QList<int>, palettes);

    const std::vector<int> packed = Palettes::pack(sets, 4);
    QCOMPARE(QList<int>(packed.begin(), packed.end()), palettes);
}

void TestPalettes::drawnFromPalettes_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("smallest");
    QTest::addColumn<int>("largest");

    QTest::newRow("16, any size") << 16 << 1 << 16;
    QTest::newRow("16, 1 to 3") << 16 << 1 << 3;
    QTest::newRow("15, any size") << 15 << 1 << 15;
    QTest::newRow("15, 1 to 3") << 15 << 1 << 3;
    QTest::newRow("15, 1 to 7") << 15 << 1 << 7;
    QTest::newRow("4, any size") << 4 << 1 << 4;
    QTest::newRow("4, 1 to 2") << 4 << 1 << 2;
    QTest::newRow("3, any size") << 3 << 1 << 3;
}

// Sets drawn from k palettes fit in k; placing small sets one by one tends to mix the palettes
// up and need more.
void TestPalettes::drawnFromPalettes()
{
    QFETCH(int, capacity);
    QFETCH(int, smallest);
    QFETCH(int, largest);

    for (int sets : { 4, 15, 40, 120, 400, 1500 }) {
        for (int k = 1; k <= 16; ++k) {
            for (unsigned seed = 0; seed < 2; ++seed) {
                const unsigned id = seed * 100000 + unsigned(sets * 100 + k);
                const Sets input = drawnSets(id, sets, k, capacity, smallest, largest);
                const std::vector<int> packed = Palettes::pack(input, capacity);
                const QString where =
                    QStringLiteral(" (seed %1, %2 sets, k %3)").arg(id).arg(sets).arg(k);
                const QString wrong = fault(input, capacity, packed);
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong + where));
                QVERIFY2(count(packed) <= k,
                         qPrintable(QStringLiteral("%1 palettes").arg(count(packed)) + where));
            }
        }
    }
}

void TestPalettes::deterministic_data()
{
    QTest::addColumn<Sets>("sets");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("most");

    // Without overload and remove, this one takes a palette too many.
    QTest::newRow("small sets of 15 palettes") << drawnSets(140015, 400, 15, 15, 1, 3) << 15 << 15;
    QTest::newRow("repeated tiles of 8 palettes") << drawnSets(2, 30000, 8, 16, 1, 16) << 16 << 8;
    // Many packings are as good here, and which one comes out hangs on the random ties.
    QTest::newRow("random sets, 16 colours") << scatteredSets(4, 60, 24, 2, 6) << 16 << 60;
    QTest::newRow("random sets, 4 colours") << scatteredSets(5, 100, 24, 1, 3) << 4 << 100;
}

void TestPalettes::deterministic()
{
    QFETCH(Sets, sets);
    QFETCH(int, capacity);
    QFETCH(int, most);

    const std::vector<int> packed = Palettes::pack(sets, capacity);
    QCOMPARE(Palettes::pack(sets, capacity), packed);
    QCOMPARE(fault(sets, capacity, packed), QString());
    QVERIFY(count(packed) <= most);

    Sets reversed(sets.rbegin(), sets.rend());
    const std::vector<int> backwards = Palettes::pack(reversed, capacity);
    QCOMPARE(fault(reversed, capacity, backwards), QString());
    QVERIFY(count(backwards) <= most);
}

QTEST_GUILESS_MAIN(TestPalettes)
#include "tst_palettes.moc"

#include "selection/rowcache.h"

#include <QTest>

using selection::RowCache;

namespace {
void fill(RowCache &cache, int64_t row)
{
    QString *texts = cache.store(row);
    for (int c = 0; c < cache.columns(); ++c)
        texts[c] = QStringLiteral("%1:%2").arg(row).arg(c);
}
} // namespace

class RowCacheTest : public QObject {
    Q_OBJECT
private slots:
    void storedRowsAreFoundAndOthersAreNot()
    {
        RowCache cache(4, 2);
        cache.reset(3);
        QVERIFY(!cache.find(0));
        fill(cache, 5);
        const QString *texts = cache.find(5);
        QVERIFY(texts);
        QCOMPARE(texts[0], QStringLiteral("5:0"));
        QCOMPARE(texts[2], QStringLiteral("5:2"));
        // Its neighbour in the same block is not cached until it is stored.
        QVERIFY(!cache.find(4));
        QVERIFY(!cache.find(6));
        QVERIFY(!cache.find(-1));
        QCOMPARE(cache.blockCount(), 1);
        QCOMPARE(cache.rowsHeld(), 1);
    }

    void theLeastRecentlyUsedBlockGoes()
    {
        RowCache cache(4, 2);
        cache.reset(1);
        fill(cache, 0);  // block 0
        fill(cache, 4);  // block 1
        QVERIFY(cache.find(1) == nullptr);
        QVERIFY(cache.find(0));  // block 0 used again
        fill(cache, 8);  // block 2 pushes out block 1
        QCOMPARE(cache.blockCount(), 2);
        QVERIFY(cache.find(0));
        QVERIFY(cache.find(8));
        QVERIFY(!cache.find(4));
        // Storing into a held block takes no new one.
        fill(cache, 9);
        QCOMPARE(cache.blockCount(), 2);
        QCOMPARE(cache.find(9)[0], QStringLiteral("9:0"));
    }

    void aSweepStaysWithinTheLimit()
    {
        RowCache cache(16, 3);
        cache.reset(2);
        for (int64_t row = 0; row < 10000; ++row) {
            if (!cache.find(row))
                fill(cache, row);
            QVERIFY(cache.blockCount() <= 3);
        }
        QCOMPARE(cache.rowsHeld(), 48);
        QCOMPARE(cache.find(9999)[1], QStringLiteral("9999:1"));
        QVERIFY(!cache.find(9999 - 48));
    }

    void resetEmptiesAndChangesTheShape()
    {
        RowCache cache(4, 2);
        cache.reset(2);
        fill(cache, 1);
        cache.reset(5, 7);
        QCOMPARE(cache.blockCount(), 0);
        QVERIFY(!cache.find(1));
        QCOMPARE(cache.columns(), 5);
        QCOMPARE(cache.maxBlocks(), 7);
        fill(cache, 1);
        QCOMPARE(cache.find(1)[4], QStringLiteral("1:4"));
    }
};

QTEST_GUILESS_MAIN(RowCacheTest)
#include "test_rowcache.moc"

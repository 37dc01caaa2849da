#include "common/caratlines.h"
#include "config/user.h"
#include "pricing/carat.h"

#include <QRandomGenerator>
#include <QtTest>

#include <limits>
#include <tuple>

namespace {

// The reference setting of the worked examples: labour 2 % to 10 %, band fully shifted at
// 100 g, VAT 1/5; 22-carat jewellery by the gram; rates 2500.00 to 2600.00 a gram.
LaborConfig referenceLabor()
{
    LaborConfig labor;
    labor.taxratio = Ratio(1, 5);
    labor.unitmin = 2000;
    labor.unitmax = 10000;
    labor.limit = 100;
    return labor;
}

const RateConfig referenceRates{250000, 260000};

auto sortKey(const Carat &c)
{
    return std::make_tuple(c.ob, c.li, c.lt, c.dv, c.ci);
}

const Carat *atLevel(const QList<Carat> &list, int level)
{
    for (const Carat &c : list) {
        if (c.ll == level)
            return &c;
    }
    return nullptr;
}

QList<int> levelsOf(const QList<Carat> &list)
{
    QList<int> levels;
    for (const Carat &c : list)
        levels.append(c.ll);
    return levels;
}

// A user that owns the two reference lines at indexes 1 and 2 of a padded list.
struct ReferenceUser
{
    ReferenceUser()
    {
        user.labor = referenceLabor();
        user.carats = {gramLine(), pieceLine()};
        user.carats.pad();
        user.laborLevel = 3;
    }
    User user{nullptr, 0};
};

} // namespace

Q_DECLARE_METATYPE(LaborConfig)
Q_DECLARE_METATYPE(CaratConfig)
Q_DECLARE_METATYPE(RateConfig)

class TestCaratCalc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void largePaymentSearchesStatedRanges();
    void smallPaymentStepsByHundredths();
    void fixedAmountSearchesOneQuantity();
    void fixedRateSearchesOneUnitRate();
    void pieceLineSearchesWholePieces();
    void tinyPaymentGivesLabourOnlySplits_data();
    void tinyPaymentGivesLabourOnlySplits();
    void scoringAgainstTheBand_data();
    void scoringAgainstTheBand();
    void noCandidates_data();
    void noCandidates();
    void zeroVatGivesPlaceholder();
    void allLinesSortedAcrossLines();
    void sortOrdersByBandFirst();
    void userEntryWithUnknownIndex();
    void randomSplitsKeepIdentities();
    void everydaySizesStayExact();
};

void TestCaratCalc::largePaymentSearchesStatedRanges()
{
    const QList<Carat> list = Carat::calc(referenceLabor(), gramLine(), referenceRates, 10000000, 0, 0);
    QCOMPARE(list.size(), 7);
    QCOMPARE(levelsOf(list), QList<int>({0, 1, 2, 3, 4, 5, 6}));
    for (const Carat &c : list) {
        QVERIFY2(c.at >= 3710 && c.at <= 4255 && c.at % 5 == 0, qPrintable(QString::number(c.at)));
        QVERIFY2(c.rt >= 229000 && c.rt <= 238100 && c.rt % 100 == 0, qPrintable(QString::number(c.rt)));
        QCOMPARE(c.ci, quint8(1));
        QCOMPARE(c.ct, quint8(1));
    }
    const Carat *c = atLevel(list, 3);
    QVERIFY(c);
    QCOMPARE(c->at, 4000);
    QCOMPARE(c->rt, 238000);
    QCOMPARE(c->pp, 9520000);
    QCOMPARE(c->lp, 400000);
    QCOMPARE(c->lt, 80000);
    QCOMPARE(c->lg, 10000);
    QCOMPARE(c->lu, 10000);
    QCOMPARE(c->pr, 259825);
    QCOMPARE(c->np, 9920000);
    QCOMPARE(c->unit, 250000);
    QCOMPARE(int(c->dv), 0);
    QCOMPARE(c->ob, 0);
}

void TestCaratCalc::smallPaymentStepsByHundredths()
{
    const QList<Carat> list = Carat::calc(referenceLabor(), gramLine(), referenceRates, 100000, 0, 0);
    QVERIFY(!list.isEmpty());
    for (const Carat &c : list)
        QVERIFY2(c.at >= 37 && c.at <= 42, qPrintable(QString::number(c.at)));
    const Carat *c = atLevel(list, 3);
    QVERIFY(c);
    QCOMPARE(c->at, 40);
    QCOMPARE(c->rt, 235000);
    QCOMPARE(c->pp, 94000);
    QCOMPARE(c->lp, 5000);
    QCOMPARE(c->lt, 1000);
    QCOMPARE(int(c->dv), 1);
}

void TestCaratCalc::fixedAmountSearchesOneQuantity()
{
    const QList<Carat> list = Carat::calc(referenceLabor(), gramLine(), referenceRates, 10000000, 4000, 0);
    QCOMPARE(levelsOf(list), QList<int>({3, 4, 5}));
    for (const Carat &c : list)
        QCOMPARE(c.at, 4000);
}

void TestCaratCalc::fixedRateSearchesOneUnitRate()
{
    const QList<Carat> list = Carat::calc(referenceLabor(), gramLine(), referenceRates, 10000000, 0, 255000);
    QVERIFY(!list.isEmpty());
    for (const Carat &c : list)
        QCOMPARE(c.rt, 233500);
}

void TestCaratCalc::pieceLineSearchesWholePieces()
{
    const QList<Carat> list = Carat::calc(referenceLabor(), pieceLine(), referenceRates, 10000000, 0, 0);
    QVERIFY(!list.isEmpty());
    QSet<qint64> quantities;
    for (const Carat &c : list) {
        QVERIFY2(c.at >= 2100 && c.at <= 2400 && c.at % 100 == 0, qPrintable(QString::number(c.at)));
        QVERIFY2(c.rt >= 400700 && c.rt <= 416700 && c.rt % 100 == 0, qPrintable(QString::number(c.rt)));
        QCOMPARE(c.ct, quint8(0));
        quantities.insert(c.at);
    }
    QVERIFY(quantities.size() > 1);
}

void TestCaratCalc::tinyPaymentGivesLabourOnlySplits_data()
{
    QTest::addColumn<CaratConfig>("line");
    QTest::addColumn<qint64>("price");
    // 20.00 lira does not buy a hundredth of a gram at 2290.00 plus labour.
    QTest::newRow("tiny payment") << gramLine() << 2000ll;
    // A carat without a known fineness has no gold rate, whatever the payment.
    CaratConfig unknown = gramLine();
    unknown.cfine = Ratio(0, 1);
    QTest::newRow("unknown fineness") << unknown << 10000000ll;
}

void TestCaratCalc::tinyPaymentGivesLabourOnlySplits()
{
    QFETCH(CaratConfig, line);
    QFETCH(qint64, price);
    const QList<Carat> list = Carat::calc(referenceLabor(), line, referenceRates, price, 0, 0);
    QVERIFY(!list.isEmpty());
    for (const Carat &c : list) {
        QCOMPARE(c.rt, 0);
        QCOMPARE(c.pp, 0);
        QCOMPARE(c.pr, 0);
        QCOMPARE(c.lp, price - c.lt);
        QVERIFY(c.lt > 0);
    }
}

void TestCaratCalc::scoringAgainstTheBand_data()
{
    QTest::addColumn<qint64>("pp");
    QTest::addColumn<qint64>("lp");
    QTest::addColumn<qint64>("rt");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("ob");
    // Band 10..45 at scale 99, as for the payment of 100,000.00.
    QTest::newRow("inside, middle") << 9520000ll << 400000ll << 238000ll << 10 << 45 << 3 << 0;
    QTest::newRow("labour-only judged one higher") << 9520000ll << 400000ll << 0ll << 10 << 45 << 3 << 1;
    QTest::newRow("too little labour") << 9520000ll << 100000ll << 238000ll << 10 << 45 << 0 << 7;
    QTest::newRow("too much labour") << 100000ll << 400000ll << 238000ll << 20 << 45 << 6 << 3;
    // 5r = 4294967300 wraps to 4 in 32 bits and lands inside the band.
    QTest::newRow("5r wraps") << 850403526ll << 1ll << 238000ll << 10 << 45 << 6 << 0;
    QTest::newRow("no labour") << 9520000ll << 0ll << 238000ll << 10 << 45 << 6 << 0;
    QTest::newRow("empty band") << 9520000ll << 400000ll << 238000ll << 45 << 45 << 6 << 0;
}

void TestCaratCalc::scoringAgainstTheBand()
{
    QFETCH(qint64, pp);
    QFETCH(qint64, lp);
    QFETCH(qint64, rt);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, level);
    QFETCH(int, ob);
    CaratVals v;
    v.pp = pp;
    v.lp = lp;
    v.rt = rt;
    v(a, b, 99);
    QCOMPARE(int(v.ll), level);
    QCOMPARE(v.ob, ob);
}

void TestCaratCalc::noCandidates_data()
{
    QTest::addColumn<LaborConfig>("labor");
    QTest::addColumn<CaratConfig>("line");
    QTest::addColumn<RateConfig>("rates");
    QTest::addColumn<qint64>("price");

    const LaborConfig labor = referenceLabor();
    const CaratConfig line = gramLine();
    auto withLine = [&](auto change) { CaratConfig l = line; change(l); return l; };
    auto withLabor = [&](auto change) { LaborConfig l = labor; change(l); return l; };

    QTest::newRow("line off") << labor << withLine([](CaratConfig &l) { l.enabled = false; }) << referenceRates << 10000000ll;
    QTest::newRow("no level scale") << labor << withLine([](CaratConfig &l) { l.levelScale = 0; }) << referenceRates << 10000000ll;
    QTest::newRow("filler line") << labor << withLine([](CaratConfig &l) { l.index = 0; }) << referenceRates << 10000000ll;
    QTest::newRow("cf over zero") << labor << withLine([](CaratConfig &l) { l.cf = Ratio::raw(1, 0); }) << referenceRates << 10000000ll;
    QTest::newRow("fineness over zero") << labor << withLine([](CaratConfig &l) { l.cfine = Ratio::raw(916, 0); }) << referenceRates << 10000000ll;
    QTest::newRow("VAT over zero") << withLabor([](LaborConfig &l) { l.taxratio = Ratio::raw(1, 0); }) << line << referenceRates << 10000000ll;
    QTest::newRow("no limit") << withLabor([](LaborConfig &l) { l.limit = 0; }) << line << referenceRates << 10000000ll;
    QTest::newRow("no minimum labour") << withLabor([](LaborConfig &l) { l.unitmin = 0; }) << line << referenceRates << 10000000ll;
    QTest::newRow("band of one width") << withLabor([](LaborConfig &l) { l.unitmin = 12000; l.unitmax = 18000; }) << line << referenceRates << 10000000ll;
    QTest::newRow("no low rate") << labor << line << RateConfig{0, 260000} << 10000000ll;
    QTest::newRow("no high rate") << labor << line << RateConfig{250000, 0} << 10000000ll;
    QTest::newRow("zero payment") << labor << line << referenceRates << 0ll;
    QTest::newRow("negative payment") << labor << line << referenceRates << -10000000ll;
    QTest::newRow("negative rates") << labor << line << RateConfig{-250000, -260000} << 10000000ll;
}

void TestCaratCalc::noCandidates()
{
    QFETCH(LaborConfig, labor);
    QFETCH(CaratConfig, line);
    QFETCH(RateConfig, rates);
    QFETCH(qint64, price);
    const QList<Carat> list = Carat::calc(labor, line, rates, price, 0, 0);
    QVERIFY2(list.isEmpty(), qPrintable(QString::number(list.size())));
}

void TestCaratCalc::zeroVatGivesPlaceholder()
{
    ReferenceUser ref;
    ref.user.labor.taxratio = Ratio(0, 1);
    const CaratList list = Carat::calc(&ref.user, referenceRates, 10000000);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.user, &ref.user);
    const Carat &c = list.first();
    QCOMPARE(c.pc, 10000000);
    QCOMPARE(int(c.ll), 0);
    QCOMPARE(int(c.dv), 0);
    QCOMPARE(int(c.ci), 0);
    QCOMPARE(c.at + c.rt + c.pp + c.lp + c.lt + c.np + c.pr + c.lu + c.lg + c.unit, 0);
    QCOMPARE(c.ob, 0);

    const CaratList none = Carat::calc(nullptr, referenceRates, 123456);
    QCOMPARE(none.size(), 1);
    QCOMPARE(none.first().pc, 123456);
}

void TestCaratCalc::allLinesSortedAcrossLines()
{
    ReferenceUser ref;
    for (int level = 1; level <= 5; ++level) {
        ref.user.laborLevel = level;
        const CaratList list = Carat::calc(&ref.user, referenceRates, 10000000);
        QCOMPARE(list.size(), 14);
        QSet<int> lines;
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(int(list[i].pos), i);
            QCOMPARE(int(list[i].li), qAbs(int(list[i].ll) - level));
            if (i > 0)
                QVERIFY(!(sortKey(list[i]) < sortKey(list[i - 1])));
            lines.insert(list[i].ci);
        }
        QCOMPARE(lines, QSet<int>({1, 2}));
        QCOMPARE(int(list.first().ll), level);
        QCOMPARE(list.first().ob, 0);
    }
}

void TestCaratCalc::sortOrdersByBandFirst()
{
    CaratList list;
    Carat outside;
    outside.ob = 130;
    outside.ll = 3;
    outside.lt = 1;
    outside.dv = 0;
    outside.ci = 1;
    Carat inside;
    inside.ob = 0;
    inside.ll = 0;
    inside.lt = 999999;
    inside.dv = 20;
    inside.ci = 9;
    list << outside << inside;
    list.sort();   // no user: level 3
    QCOMPARE(list[0].ob, 0);
    QCOMPARE(list[1].ob, 130);
    QCOMPARE(int(list[0].li), 3);
    QCOMPARE(int(list[1].li), 0);
    QCOMPARE(int(list[0].pos), 0);
    QCOMPARE(int(list[1].pos), 1);
}

void TestCaratCalc::userEntryWithUnknownIndex()
{
    ReferenceUser ref;
    QVERIFY(Carat::calc(&ref.user, referenceRates, 10000000, 1, 0, 0).size() == 7);
    QVERIFY(Carat::calc(&ref.user, referenceRates, 10000000, 0, 0, 0).isEmpty());
    QVERIFY(Carat::calc(&ref.user, referenceRates, 10000000, 3, 0, 0).isEmpty());
    QVERIFY(Carat::calc(&ref.user, referenceRates, 10000000, -1, 0, 0).isEmpty());
    QVERIFY(Carat::calc(nullptr, referenceRates, 10000000, 1, 0, 0).isEmpty());
    QCOMPARE(Carat().name(&ref.user), QString());
    Carat foreign;
    foreign.ci = 200;
    QCOMPARE(foreign.name(&ref.user), QString());
}

void TestCaratCalc::randomSplitsKeepIdentities()
{
    QRandomGenerator random(20240315);
    ReferenceUser ref;
    int candidates = 0;
    for (int round = 0; round < 3000; ++round) {
        // Payments from 10.00 to 2,000,000.00, rates 1,000.00 to 6,000.00 with up to 8 % spread.
        const qint64 price = 1000 + random.bounded(200000000);
        const qint64 low = 100000 + random.bounded(500000);
        const RateConfig rates{low, low + random.bounded(low * 8 / 100 + 1)};
        CaratConfig line = random.bounded(2) ? gramLine() : pieceLine();
        static const int milyems[] = {333, 585, 750, 916, 995};
        line.cfine = Ratio(milyems[random.bounded(5)], 1000);
        if (line.ctype == 0)
            line.cf = Ratio(100 + random.bounded(700), 100);
        line.levelScale = qint8(60 + random.bounded(50));
        ref.user.carats[line.index] = line;
        ref.user.labor.unitmin = 500 + random.bounded(3000);
        ref.user.labor.unitmax = ref.user.labor.unitmin + 1000 + random.bounded(12000);
        ref.user.labor.limit = 20 + random.bounded(300);
        ref.user.laborLevel = 1 + random.bounded(5);

        const CaratList list = Carat::calc(&ref.user, rates, price);
        QVERIFY(!list.isEmpty());
        for (int i = 0; i < list.size(); ++i) {
            const Carat &c = list[i];
            const QByteArray where = QByteArray::number(round) + " price " + QByteArray::number(price);
            QVERIFY2(c.pc == c.pp + c.lp + c.lt, where.constData());
            QVERIFY2(c.np == c.pc - c.lt, where.constData());
            QVERIFY2(c.pc == price, where.constData());
            QCOMPARE(int(c.pos), i);
            if (i > 0)
                QVERIFY2(!(sortKey(c) < sortKey(list[i - 1])), where.constData());
            if (c.at != 0) {
                QVERIFY(c.ll <= 6);
                QVERIFY(c.ob >= 0);
                ++candidates;
            }
        }
        const Carat &first = list.first();
        for (const Carat &c : list)
            QVERIFY(!(sortKey(c) < sortKey(first)));
    }
    QVERIFY(candidates > 10000);
}

void TestCaratCalc::everydaySizesStayExact()
{
    // A payment of ten million lira at 6,000.00 a gram: the products of the search stay in range.
    const RateConfig rates{600000, 650000};
    const QList<Carat> list = Carat::calc(referenceLabor(), gramLine(), rates, 1000000000, 0, 0);
    QVERIFY(!list.isEmpty());
    for (const Carat &c : list) {
        QCOMPARE(c.pc, c.pp + c.lp + c.lt);
        QVERIFY(c.pr > 0 && c.pr < 1000000);
    }
}

QTEST_APPLESS_MAIN(TestCaratCalc)
#include "tst_caratcalc.moc"

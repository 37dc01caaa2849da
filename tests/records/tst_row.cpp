#include "common/caratlines.h"
#include "common/testdata.h"
#include "config/config.h"
#include "records/row.h"

#include <QtConcurrent>
#include <QtTest>

#include <memory>

namespace {

const QByteArray day = "2024-03-15";
const QByteArray dayBefore = "2024-03-14";
const qint64 validTaxNo = 1234567890;
const qint64 validNationalNo = 10000000146;

} // namespace

class TestRow : public QObject
{
    Q_OBJECT

private:
    User *user() { return &config->localUser; }
    Row paid(qint64 price, qint64 ident = validNationalNo) { return Row(user(), day, "AYSE KAYA", price, ident); }
    // The same payment with the 22-carat gram line selected.
    Row paidInGrams(qint64 price)
    {
        Row row = paid(price);
        row.uindex(int(row.caratIndices().indexOf(1)));
        return row;
    }

    std::unique_ptr<TestDataDir> data;
    std::unique_ptr<Config> config;

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void setIdent_data();
    void setIdent();
    void identAndKind_data();
    void identAndKind();
    void setNameKeepsStrongScore();
    void setDate_data();
    void setDate();
    void priceRule_data();
    void priceRule();
    void smallPriceGivesOneEmptyCarat();
    void rowFromFields();
    void fixedQuantityShowsWorkedSplit();
    void pieceQuantityShowsWholePieces();
    void pureRateIsClampedAndMatched();
    void labourSettersMoveTheProductRate_data();
    void labourSettersMoveTheProductRate();
    void steppingWalksOneLine_data();
    void steppingWalksOneLine();
    void productSelection();
    void levelChangeResorts();
    void lockedRowIgnoresEdits();
    void zeroDenominatorsGiveZero();
    void unknownSelectionIsHarmless();
    void resetFillsFromCustomers();
    void checkName_data();
    void checkName();
    void checkFilter();
    void garbage_data();
    void garbage();
    void json();
    void statusText();
    void normalizeName();
    void parallelRecalculationMatchesSerial();
};

void TestRow::initTestCase()
{
    data = std::make_unique<TestDataDir>();
    config = std::make_unique<Config>(false);
    QVERIFY(config->ok);
    QMutexLocker lock(&config->cacheMutex);
    config->rateCache.insert(day, {day, 0, 250000, 260000, 255000});
    config->rateCache.insert(dayBefore, {dayBefore, 0, 240000, 250000, 245000});
}

void TestRow::init()
{
    User *u = user();
    u->labor = LaborConfig{Ratio(1, 5), 2000, 10000, 100};
    u->carats = {gramLine(), pieceLine()};
    u->carats.pad();
    u->laborLevel = 3;
}

void TestRow::cleanupTestCase()
{
    config.reset();
    data.reset();
}

void TestRow::setIdent_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<qint64>("taxNo");
    QTest::addColumn<qint64>("nationalNo");
    QTest::newRow("none") << 0ll << 0ll << 0ll;
    QTest::newRow("tax number") << validTaxNo << validTaxNo << 0ll;
    QTest::newRow("ten digits failing") << 1234567891ll << 0ll << Row::unknownPerson;
    QTest::newRow("personal number") << validNationalNo << 0ll << validNationalNo;
    QTest::newRow("eleven digits failing") << 10000000147ll << 0ll << Row::unknownPerson;
    QTest::newRow("short") << 12345ll << 0ll << Row::unknownPerson;
    QTest::newRow("negative") << -validNationalNo << 0ll << Row::unknownPerson;
}

void TestRow::setIdent()
{
    QFETCH(qint64, number);
    Row row(user());
    row.taxNo = 42;
    row.nationalNo = 43;
    row.setIdent(number);
    QTEST(row.taxNo, "taxNo");
    QTEST(row.nationalNo, "nationalNo");
}

void TestRow::identAndKind_data()
{
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<int>("score");
    QTest::addColumn<qint64>("taxNo");
    QTest::addColumn<qint64>("nationalNo");
    QTest::addColumn<qint64>("ident");
    QTest::addColumn<int>("kind");
    const QList<QByteArray> one{"AYSE KAYA"};
    const QList<QByteArray> two{"AYSE KAYA", "KAYA AS"};
    QTest::newRow("person score, only tax number") << one << 55 << validTaxNo << 0ll << 0ll << 2;
    QTest::newRow("company score prefers tax number") << one << 50 << validTaxNo << validNationalNo << validTaxNo << 1;
    QTest::newRow("company score 40, person number only") << one << 40 << 0ll << validNationalNo << validNationalNo << 0;
    QTest::newRow("company score 40, nothing") << one << 40 << 0ll << 0ll << 0ll << 1;
    QTest::newRow("unsure score") << one << 22 << validTaxNo << 0ll << validTaxNo << 0;
    QTest::newRow("score 44 person") << one << 44 << 0ll << validNationalNo << validNationalNo << 2;
    QTest::newRow("score 44 both") << one << 44 << validTaxNo << validNationalNo << validNationalNo << 0;
    QTest::newRow("weak score") << one << 30 << validTaxNo << 0ll << validTaxNo << 0;
    QTest::newRow("no score, tax") << one << 0 << validTaxNo << 0ll << validTaxNo << 1;
    QTest::newRow("no score, person") << one << 0 << 0ll << validNationalNo << validNationalNo << 2;
    QTest::newRow("no score, both") << one << 0 << validTaxNo << validNationalNo << validNationalNo << 0;
    QTest::newRow("two names") << two << 55 << validTaxNo << 0ll << validTaxNo << 0;
    QTest::newRow("empty name") << QList<QByteArray>{""} << 55 << validTaxNo << 0ll << validTaxNo << 0;
}

void TestRow::identAndKind()
{
    QFETCH(QList<QByteArray>, names);
    QFETCH(int, score);
    Row row(user());
    row.names = names;
    row.scores = QList<int>(names.size(), 0);
    row.scores[0] = score;
    QFETCH(qint64, taxNo);
    QFETCH(qint64, nationalNo);
    row.taxNo = taxNo;
    row.nationalNo = nationalNo;
    QTEST(row.ident(), "ident");
    QTEST(row.kind(), "kind");
}

void TestRow::setNameKeepsStrongScore()
{
    Row row(user());
    row.price = 500;
    row.names = {"AYSE KAYA", "KAYA"};
    row.scores = {44, 10};
    row.tokens = {"X"};
    row.filtered = true;
    row.setName("AYSE KAYA");
    QCOMPARE(row.names, QList<QByteArray>{"AYSE KAYA"});
    QCOMPARE(row.scores, QList<int>{44});
    QVERIFY(row.tokens.isEmpty());
    QVERIFY(!row.filtered);
    QVERIFY(row.invalid);
    row.setName("ALI VELI");
    QCOMPARE(row.scores, QList<int>{0});
    row.scores = {30};
    row.setName("ALI VELI");
    QCOMPARE(row.scores, QList<int>{0});
}

void TestRow::setDate_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<qint64>("low");
    QTest::newRow("dotted") << QByteArray("14.03.2024") << dayBefore << 240000ll;
    QTest::newRow("slashed") << QByteArray("14/03/2024") << dayBefore << 240000ll;
    QTest::newRow("iso") << dayBefore << dayBefore << 240000ll;
    QTest::newRow("month 13") << QByteArray("2024-13-01") << day << 250000ll;
    QTest::newRow("no rate that day") << QByteArray("2024-03-10") << day << 250000ll;
    QTest::newRow("before any rate") << QByteArray("01.01.2001") << day << 250000ll;
    QTest::newRow("words") << QByteArray("yesterday") << day << 250000ll;
}

void TestRow::setDate()
{
    QFETCH(QByteArray, text);
    Row row = paid(10000000);
    const QList<QString> before = row.texts;
    row.set(0, text);
    QTEST(row.date, "date");
    QTEST(row.rate.low, "low");
    QVERIFY(!row.carats.isEmpty());
    if (row.date == day)
        QCOMPARE(row.texts, before);
    else
        QCOMPARE(row.texts.at(0), QString::fromLatin1(dayBefore));
}

void TestRow::priceRule_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("offered");
    QTest::addColumn<qint64>("price");
    QTest::newRow("smaller below 10.00 refused") << 2000ll << 500ll << 2000ll;
    QTest::newRow("larger below 10.00 taken") << 800ll << 900ll << 900ll;
    QTest::newRow("larger taken") << 800ll << 5000ll << 5000ll;
    QTest::newRow("smaller above 10.00 taken") << 5000ll << 1000ll << 1000ll;
    QTest::newRow("zero refused") << 5000ll << 0ll << 5000ll;
    QTest::newRow("negative refused") << 5000ll << -5000ll << 5000ll;
}

void TestRow::priceRule()
{
    QFETCH(qint64, start);
    QFETCH(qint64, offered);
    Row row(user());
    row.date = day;
    row.price = start;
    row.rate = RateConfig{250000, 260000};
    row.calculate();
    row.amount = 1234;
    row.set(3, offered);
    QTEST(row.price, "price");
    QFETCH(qint64, price);
    QCOMPARE(row.amount, price == start ? 1234 : 0);
    QCOMPARE(row.texts.value(3), formatTurkish(price));
}

void TestRow::smallPriceGivesOneEmptyCarat()
{
    Row row(user());
    row.price = 999;
    row.calculate();
    row.refresh();
    QVERIFY(row.invalid);
    QCOMPARE(row.carats.size(), 1);
    const Carat &c = row.carats.first();
    QCOMPARE(c.pc, 999);
    QCOMPARE(c.at + c.rt + c.lp + c.lt + c.pp, 0);
    QCOMPARE(int(c.ll) + int(c.dv), 0);
    QCOMPARE(row.caratIndex, 0);
    QCOMPARE(row.texts.at(3), QString("9,99"));
    QCOMPARE(row.texts.at(5), QString());
}

void TestRow::rowFromFields()
{
    Row row(user(), day, "AYSE KAYA", 10000000, 1234567891);
    QCOMPARE(row.taxNo, 0);
    QCOMPARE(row.nationalNo, 0);   // no placeholder here
    QCOMPARE(row.rate.low, 250000);
    QCOMPARE(row.rate.high, 260000);
    QCOMPARE(row.names, QList<QByteArray>{"AYSE KAYA"});
    QCOMPARE(row.scores, QList<int>{0});
    QCOMPARE(row.carats.size(), 14);
    QCOMPARE(int(row.carats.first().ll), 3);
    QCOMPARE(row.carats.first().ob, 0);
    QCOMPARE(row.texts.size(), 13);
    QCOMPARE(row.texts.at(3), QString("100.000,00"));

    QCOMPARE(Row(user(), day, "X", 10000000, validTaxNo).taxNo, validTaxNo);
    QCOMPARE(Row(user(), day, "X", 10000000, validNationalNo).nationalNo, validNationalNo);

    // A price at or below the day's rate in lira was read in the wrong unit.
    const Row misread(user(), day, "X", 2500, 0);
    QCOMPARE(misread.price, 0);
    const Row noRate(user(), "2024-03-10", "X", 10000000, 0);
    QCOMPARE(noRate.rate.low, 0);
    QCOMPARE(noRate.carats.size(), 1);   // the placeholder
    QCOMPARE(noRate.carats.first().pc, 10000000);
}

void TestRow::fixedQuantityShowsWorkedSplit()
{
    Row row = paidInGrams(10000000);
    row.set(5, qint64(4000));
    QCOMPARE(row.amount, 4000);
    QCOMPARE(row.caratId, 1);
    const QList<QString> expected{
        "2024-03-15", "AYSE KAYA", "10000000146", "100.000,00", "22 Ayar", "40,00", "2.598,25",
        "2.380,00", "95.200,00", "100,00", "100,00", "4.000,00", "800,00",
    };
    QCOMPARE(row.texts, expected);
    QCOMPARE(row.value(3), 10000000);
    QCOMPARE(row.value(5), 3664);   // 40.00 g of 916 gold
    QCOMPARE(row.value(6), 259825);
    QCOMPARE(row.value(12), 80000);
    QCOMPARE(row.value(4), 0);
    for (const Carat &c : row.carats)
        QCOMPARE(c.at, 4000);
}

void TestRow::pieceQuantityShowsWholePieces()
{
    Row row = paid(10000000);
    row.uindex(int(row.caratIndices().indexOf(2)));
    QCOMPARE(row.caratId, 2);
    row.set(5, qint64(2400));
    QCOMPARE(row.caratId, 2);
    QCOMPARE(row.amount, 2400);
    QCOMPARE(row.texts.at(4), QString("Çeyrek"));
    QCOMPARE(row.texts.at(5), QString("24"));
    // A quantity between whole pieces is aligned down to the piece.
    row.set(5, qint64(2260));
    QCOMPARE(row.amount, 2200);
}

void TestRow::pureRateIsClampedAndMatched()
{
    Row row = paidInGrams(10000000);
    row.set(5, qint64(4000));
    row.set(6, qint64(1));
    QCOMPARE(row.amount, 4000);
    QVERIFY(row.selected());
    QCOMPARE(row.pureRate, row.selected()->pr);
    QCOMPARE(row.selected()->at, 4000);
    // Clamped to the day's low: the unit rate searched is 2500.00 × 229/250 = 2290.00.
    QCOMPARE(row.selected()->rt, 229000);

    row.set(6, qint64(99999999));
    QCOMPARE(row.selected()->rt, 238100);   // 2600.00 × 229/250 = 2381.60, aligned down
    QCOMPARE(row.pureRate, row.selected()->pr);
}

void TestRow::labourSettersMoveTheProductRate_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<qint64>("productRate");
    // Gram line at 40.00 g, VAT 1/5, price 100,000.00.
    // Labour 4,000.00 carries 800.00 VAT: product rate (100,000.00 − 4,800.00) / 40.
    QTest::newRow("labour price") << 1 << 11 << 400000ll << 238000ll;
    QTest::newRow("labour tax") << 1 << 12 << 80000ll << 238000ll;
    QTest::newRow("labour per unit") << 1 << 10 << 10000ll << 238000ll;
    QTest::newRow("labour per gram") << 1 << 9 << 10000ll << 238000ll;
    QTest::newRow("product price") << 1 << 8 << 9520000ll << 238000ll;
    QTest::newRow("product rate") << 1 << 7 << 238000ll << 238000ll;
    // Piece line at 24 pieces of 1.75 g: 100.00 a gram is 175.00 a piece, 4,200.00 in all
    // plus 840.00 VAT: product rate (100,000.00 − 5,040.00) / 24 = 3956.67.
    QTest::newRow("piece labour per gram") << 2 << 9 << 10000ll << 395667ll;
    QTest::newRow("piece labour per unit") << 2 << 10 << 17500ll << 395667ll;
}

void TestRow::labourSettersMoveTheProductRate()
{
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(qint64, value);
    QFETCH(qint64, productRate);
    // Each setter turns into a pure rate via the product rate; compare with that rate set directly.
    Row row = paid(10000000);
    row.uindex(int(row.caratIndices().indexOf(line)));
    row.set(5, qint64(line == 1 ? 4000 : 2400));
    Row expected = row;
    row.set(column, value);
    const CaratConfig &cfg = user()->carats.at(line);
    const qint64 pure = productRate * cfg.cfine.den * cfg.cf.den / (cfg.cfine.num * cfg.cf.num);
    expected.setPureRate(pure);
    expected.refresh();
    QCOMPARE(row.pureRate, expected.pureRate);
    QCOMPARE(row.texts, expected.texts);
    QCOMPARE(row.amount, line == 1 ? 4000 : 2400);
}

void TestRow::steppingWalksOneLine_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("field");   // 0 rt, 1 at, 2 lu, 3 pp, 4 lp, 5 lt
    QTest::newRow("rate") << 7 << 0;
    QTest::newRow("quantity") << 5 << 1;
    QTest::newRow("labour per unit") << 10 << 2;
    QTest::newRow("product price") << 8 << 3;
    QTest::newRow("labour price") << 11 << 4;
    QTest::newRow("labour tax") << 12 << 5;
}

void TestRow::steppingWalksOneLine()
{
    QFETCH(int, column);
    QFETCH(int, field);
    auto valueOf = [field](const Carat &c) {
        const qint64 values[] = {c.rt, c.at, c.lu, c.pp, c.lp, c.lt};
        return values[field];
    };
    Row row = paid(10000000);
    const int line = row.carats.first().ci;
    const qint64 amount = row.amount;

    for (int i = 0; i < 20; ++i)
        row.set(column, -1, 0);
    const int lowest = row.caratIndex;
    row.set(column, -1, 0);
    QCOMPARE(row.caratIndex, lowest);   // no wrap at the bottom

    const auto lineSize = std::count_if(row.carats.begin(), row.carats.end(),
                                        [line](const Carat &c) { return c.ci == line; });
    QList<qint64> walked{valueOf(*row.selected())};
    for (int i = 0; i < lineSize - 1; ++i) {
        row.set(column, 1, 0);
        QCOMPARE(int(row.selected()->ci), line);
        walked.append(valueOf(*row.selected()));
    }
    QVERIFY(std::is_sorted(walked.begin(), walked.end()));
    const int highest = row.caratIndex;
    row.set(column, 1, 0);
    QCOMPARE(row.caratIndex, highest);   // no wrap at the top
    QCOMPARE(row.amount, amount);
    QCOMPARE(row.pureRate, 0);
}

void TestRow::productSelection()
{
    Row row = paid(10000000);
    const QList<int> lines = row.caratIndices();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QSet<int>(lines.begin(), lines.end()), QSet<int>({1, 2}));
    const QList<QString> names = row.caratNames();
    QCOMPARE(names.size(), 2);
    QVERIFY(names.contains("22 Ayar") && names.contains("Çeyrek"));
    QCOMPARE(row.uindex(), 0);
    row.set(4, qint64(1));
    QCOMPARE(row.uindex(), 1);
    QCOMPARE(row.texts.at(4), names.at(1));
    QCOMPARE(int(row.selected()->ci), row.caratIndices().at(1));
    const int before = row.caratIndex;
    row.set(4, qint64(7));
    row.set(4, qint64(-1));
    QCOMPARE(row.caratIndex, before);
}

void TestRow::levelChangeResorts()
{
    Row row = paid(10000000);
    row.uindex(1);
    const int line = row.caratId;
    user()->laborLevel = 5;
    row();
    QCOMPARE(int(row.carats.first().ll), 5);
    QCOMPARE(int(row.selected()->ci), line);
    for (int i = 0; i < row.carats.size(); ++i)
        QCOMPARE(int(row.carats[i].pos), i);
}

void TestRow::lockedRowIgnoresEdits()
{
    Row row = paid(10000000);
    row.draftId = "D-1";
    const QJsonObject before = row.toJO();
    row.set(3, qint64(5000000));
    row.set(1, QByteArray("ALI VELI"));
    row.set(1, QString("Ali Veli"));
    row.set(5, 1, 0);
    row.set(2, qint64(validTaxNo));
    user()->laborLevel = 1;
    row();
    QCOMPARE(row.toJO(), before);
}

void TestRow::zeroDenominatorsGiveZero()
{
    Row row = paidInGrams(10000000);
    row.set(5, qint64(4000));
    QVERIFY(row.selected());
    // The line's figures change under the row: no division may fail.
    user()->carats[1].cfine = Ratio::raw(0, 0);
    user()->carats[1].cf = Ratio::raw(0, 0);
    QCOMPARE(row.value(5), 0);
    row.set(7, qint64(238000));     // no pure rate can be derived: clamped 0 to the day's low
    row.set(9, qint64(10000));
    user()->labor.taxratio = Ratio::raw(0, 0);
    row.set(11, qint64(400000));
    row.set(12, qint64(80000));
    row.set(8, qint64(0));
    QCOMPARE(row.price, 10000000);
}

void TestRow::unknownSelectionIsHarmless()
{
    Row row = paid(10000000);
    row.caratIndex = 500;
    QVERIFY(!row.selected());
    QCOMPARE(row.value(3), 0);
    QCOMPARE(row.uindex(), -1);
    row.set(5, 1, 0);
    row.set(7, qint64(238000));
    row.refresh();
    QCOMPARE(row.texts.at(3), QString("100.000,00"));
    QCOMPARE(row.texts.at(4), QString());

    // A candidate naming a line the user no longer has.
    Row foreign = paid(10000000);
    foreign.carats[0].ci = 90;
    foreign.refresh();
    QCOMPARE(foreign.texts.at(4), QString());
    QCOMPARE(foreign.value(5), 0);
    foreign.set(9, qint64(10000));
    QCOMPARE(foreign.price, 10000000);
}

void TestRow::resetFillsFromCustomers()
{
    CustomerInfo customer;
    customer.ident = validNationalNo;
    customer.name = QStringLiteral("Şükrü Öztürk");
    QVERIFY(user()->addCustomer(customer, true));

    Row byNumber(user());
    byNumber.date = day;
    byNumber.nationalNo = validNationalNo;
    byNumber.amount = 5;
    byNumber.reset();
    QCOMPARE(byNumber.names, QList<QByteArray>{"SUKRU OZTURK"});
    QCOMPARE(byNumber.rate.low, 250000);
    QCOMPARE(byNumber.amount, 0);
    QVERIFY(byNumber.carats.isEmpty());

    CustomerInfo company;
    company.ident = validTaxNo;
    company.name = QStringLiteral("KAYA KUYUMCULUK");
    QVERIFY(user()->addCustomer(company, true));
    Row byName(user());
    byName.date = day;
    byName.names = {"KAYA KUYUMCULUK"};
    byName.scores = {0};
    byName.reset();
    QCOMPARE(byName.taxNo, validTaxNo);
    QCOMPARE(byName.names, QList<QByteArray>{"KAYA KUYUMCULUK"});

    Row stranger(user());
    stranger.names = {"NOBODY"};
    stranger.scores = {0};
    stranger.reset();
    QCOMPARE(stranger.ident(), 0);
    QCOMPARE(stranger.names, QList<QByteArray>{"NOBODY"});
}

void TestRow::checkName_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<qint64>("price");
    QTest::addColumn<qint64>("nationalNo");
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<QList<QByteArray>>("tokens");
    QTest::addColumn<bool>("invalid");
    QTest::newRow("words become a name")
        << QByteArray("05.03.2024|havale gelen|ali veli|1.500,00") << 150000ll << 0ll
        << QList<QByteArray>{"HAVALE GELEN ALI VELI"} << QList<QByteArray>{} << true;
    QTest::newRow("cut below 37 characters")
        << QByteArray("05.03.2024|ODEME ALINDI MUSTERI|ABDULKADIR KARAMUSTAFAOGLU|1.500,00") << 150000ll << 0ll
        << QList<QByteArray>{"ODEME ALINDI MUSTERI ABDULKADIR"} << QList<QByteArray>{} << true;
    QTest::newRow("single field words") << QByteArray("05.03.2024|EFT|ALIVELI|1,00") << 150000ll << 0ll
        << QList<QByteArray>{"EFT ALIVELI"} << QList<QByteArray>{} << true;
    QTest::newRow("known by number") << QByteArray("05.03.2024|havale gelen|ali veli") << 150000ll
        << validNationalNo << QList<QByteArray>{""} << QList<QByteArray>{"HAVALE GELEN ALI VELI"} << false;
    QTest::newRow("number but small price") << QByteArray("05.03.2024|havale gelen") << 900ll << validNationalNo
        << QList<QByteArray>{"HAVALE GELEN"} << QList<QByteArray>{} << true;
    QTest::newRow("one very long word dropped") << QByteArray("05.03.2024|BCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOP A")
        << 150000ll << 0ll << QList<QByteArray>{""} << QList<QByteArray>{} << true;
}

void TestRow::checkName()
{
    QFETCH(QByteArray, raw);
    Row row(user());
    row.raw = raw;
    QFETCH(qint64, price);
    QFETCH(qint64, nationalNo);
    row.price = price;
    row.nationalNo = nationalNo;
    row.checkName();
    QTEST(row.names, "names");
    QTEST(row.tokens, "tokens");
    QTEST(row.invalid, "invalid");
    QCOMPARE(row.scores, QList<int>{0});

    // With names present only short tokens go.
    Row named(user());
    named.names = {"ALI"};
    named.tokens = {"A", "BC", "DEF"};
    named.checkName();
    QCOMPARE(named.tokens, QList<QByteArray>{"DEF"});
}

void TestRow::checkFilter()
{
    Row row(user());
    row.raw = "05.03.2024|ALI VELI";
    row.price = 150000;
    row.tokens = {"ALI", "?"};
    QVERIFY(row.checkFilter());
    QVERIFY(row.invalid);
    QCOMPARE(row.names, QList<QByteArray>{"ALI VELI"});

    Row plain(user());
    plain.price = 150000;
    plain.invalid = true;
    plain.tokens = {"ALI"};
    QVERIFY(!plain.checkFilter());
    QVERIFY(!plain.invalid);
}

void TestRow::garbage_data()
{
    QTest::addColumn<qint64>("price");
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<QList<QByteArray>>("tokens");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("garbage");
    QTest::newRow("paid") << 1000ll << QList<QByteArray>{} << QList<QByteArray>{} << QByteArray() << false;
    QTest::newRow("small and empty") << 999ll << QList<QByteArray>{} << QList<QByteArray>{} << QByteArray("a,b") << true;
    QTest::newRow("small with name") << 999ll << QList<QByteArray>{"X"} << QList<QByteArray>{} << QByteArray("a,b") << false;
    QTest::newRow("zero without comma") << 0ll << QList<QByteArray>{"X"} << QList<QByteArray>{} << QByteArray("a|b") << true;
    QTest::newRow("zero with comma") << 0ll << QList<QByteArray>{"X"} << QList<QByteArray>{} << QByteArray("0,00") << false;
}

void TestRow::garbage()
{
    Row row(user());
    QFETCH(qint64, price);
    row.price = price;
    QFETCH(QList<QByteArray>, names);
    QFETCH(QList<QByteArray>, tokens);
    QFETCH(QByteArray, raw);
    row.names = names;
    row.tokens = tokens;
    row.raw = raw;
    QTEST(row.garbage(), "garbage");
}

void TestRow::json()
{
    Row row = paid(10000000);
    row.raw = "15.03.2024|GELEN EFT|AYSE KAYA";
    row.tokens = {"GELEN"};
    row.scores = {55};
    const QJsonObject o = row.toJO();
    QCOMPARE(o["dt"].toString(), QString("2024-03-15"));
    QCOMPARE(o["pc"].toString(), QString("100.000,00"));
    QCOMPARE(o["id"].toInteger(), validNationalNo);
    QCOMPARE(o["nn"].toInteger(), validNationalNo);
    QCOMPARE(o["tn"].toInteger(), 0);
    QCOMPARE(o["st"].toInt(), 2);
    QCOMPARE(o["nl"].toArray(), (QJsonArray{QJsonArray{55, "AYSE KAYA"}}));
    QCOMPARE(o["al"].toArray(), QJsonArray{"GELEN"});
    QCOMPARE(o["sl"].toArray(), (QJsonArray{"15.03.2024", "GELEN EFT", "AYSE KAYA"}));
    QCOMPARE(o["cl"].toArray().size(), 14);

    Row empty(user());
    QCOMPARE(empty.toJO()["pc"].toString(), QString());
    QCOMPARE(Row::nameListToJA({"A", "B"}, {1}), QJsonArray());
    QCOMPARE(Row::nameListToJA({}, {}), QJsonArray());
}

void TestRow::statusText()
{
    Row row = paid(10000000);
    QCOMPARE(row.statusText(), QString("HAZIR"));
    row.nationalNo = 0;
    QCOMPARE(row.statusText(), QString("EKSİK: Kimlik No"));
    row.nationalNo = validNationalNo;
    row.names = {"A", "B"};
    row.scores = {0, 0};
    QCOMPARE(row.statusText(), QString("EKSİK: Gönderen (Belirsiz)"));
    row.names = {""};
    QCOMPARE(row.statusText(), QString("EKSİK: Gönderen"));
    row.draftId = "D";
    row.invoiceNo = "ABC2024000000001";
    QCOMPARE(row.statusText(), QString("TASLAK:  ABC2024000000001"));
    row.invoiced = true;
    QCOMPARE(row.statusText(), QString("FATURA:  ABC2024000000001"));
    row.invalid = true;
    QCOMPARE(row.statusText(), QString("GEÇERSİZ"));
    row.excluded = true;
    QCOMPARE(row.statusText(), QString("SİLİNMİŞ"));
    row.filtered = true;
    QCOMPARE(row.statusText(), QString("FİLTRELENMİŞ"));
}

void TestRow::normalizeName()
{
    QString name = QStringLiteral("  şükrü öztürk ığdır  ");
    ::normalizeName(name);
    QCOMPARE(name, QString("SUKRU OZTURK IGDIR"));
    Row row = paid(10000000);
    row.set(1, QStringLiteral(" çağla  "));
    QCOMPARE(row.names, QList<QByteArray>{"CAGLA"});
    QCOMPARE(row.texts.at(1), QString("CAGLA"));
}

void TestRow::parallelRecalculationMatchesSerial()
{
    QList<Row> rows;
    for (int i = 0; i < 400; ++i) {
        Row row = paid(150000 + qint64(i) * 37513);
        if (i % 3 == 0)
            row.set(5, qint64(row.selected()->at + 100));
        rows.append(row);
    }
    for (int i = 0; i < rows.size(); i += 2)
        rows[i].carats.clear();   // half recalculate fully, half only re-sort
    user()->laborLevel = 2;
    QList<Row> serial = rows;
    for (Row &row : serial)
        row();
    QtConcurrent::blockingMap(rows, [](Row &row) { row(); });
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].texts, serial[i].texts);
        QCOMPARE(rows[i].caratIndex, serial[i].caratIndex);
        QCOMPARE(rows[i].carats.size(), serial[i].carats.size());
    }
}

QTEST_GUILESS_MAIN(TestRow)
#include "tst_row.moc"

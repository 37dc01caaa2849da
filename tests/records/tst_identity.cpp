#include "records/row.h"

#include <QRandomGenerator>
#include <QtTest>

#include <string>

// A second, independent reading of the two check-digit rules, written from the published
// descriptions rather than from the product code:
// - TCKN (Nüfus ve Vatandaşlık İşleri): 11 digits, the first not 0; the 10th digit is
//   ((d1 + d3 + d5 + d7 + d9) × 7 − (d2 + d4 + d6 + d8)) mod 10, the 11th is the sum of the
//   first ten digits mod 10.
// - VKN (Gelir İdaresi Başkanlığı): 10 digits; for the first nine digits, left to right,
//   v = (digit + 9, 8, … 1) mod 10; if v is not 0 it becomes (v × 512, 256, … 2) mod 9 with
//   a result of 0 read as 9; the last digit is (10 − (sum mod 10)) mod 10.
// Both work on the decimal text, with Python-style (never negative) modulo.
namespace reference {

int mod(int a, int m)
{
    return ((a % m) + m) % m;
}

bool tckn(const std::string &s)
{
    if (s.size() != 11 || s[0] == '0')
        return false;
    auto d = [&](int position) { return s[position - 1] - '0'; };
    const int oddSum = d(1) + d(3) + d(5) + d(7) + d(9);
    const int evenSum = d(2) + d(4) + d(6) + d(8);
    if (mod(oddSum * 7 - evenSum, 10) != d(10))
        return false;
    int firstTen = 0;
    for (int position = 1; position <= 10; ++position)
        firstTen += d(position);
    return mod(firstTen, 10) == d(11);
}

bool vkn(const std::string &s)
{
    if (s.size() != 10 || s[0] == '0')
        return false;
    static const int offsets[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    static const int weights[9] = {512, 256, 128, 64, 32, 16, 8, 4, 2};
    int sum = 0;
    for (int k = 0; k < 9; ++k) {
        const int v = mod((s[k] - '0') + offsets[k], 10);
        if (v == 0)
            continue;
        const int w = mod(v * weights[k], 9);
        sum += w == 0 ? 9 : w;
    }
    return mod(10 - mod(sum, 10), 10) == s[9] - '0';
}

// Completes a 9-digit prefix into valid numbers.
std::string tcknFrom(const std::string &prefix)
{
    for (char tenth = '0'; tenth <= '9'; ++tenth) {
        for (char eleventh = '0'; eleventh <= '9'; ++eleventh) {
            const std::string s = prefix + tenth + eleventh;
            if (tckn(s))
                return s;
        }
    }
    return {};
}

std::string vknFrom(const std::string &prefix)
{
    for (char last = '0'; last <= '9'; ++last) {
        if (vkn(prefix + last))
            return prefix + last;
    }
    return {};
}

} // namespace reference

class TestIdentity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void knownNumbers_data();
    void knownNumbers();
    void generatedValidNumbers();
    void agreesOnRandomNumbers();
};

void TestIdentity::knownNumbers_data()
{
    QTest::addColumn<quint64>("number");
    QTest::addColumn<bool>("taxNo");
    QTest::addColumn<bool>("nationalNo");
    QTest::newRow("personal test number") << quint64(10000000146) << false << true;
    QTest::newRow("tenth digit off") << quint64(10000000156) << false << false;
    QTest::newRow("eleventh digit off") << quint64(10000000147) << false << false;
    // Odd-position sum 1, even-position sum 18: 7 − 18 = −11, remainder 9.
    QTest::newRow("negative before remainder") << quint64(19090000098) << false << true;
    QTest::newRow("tax number") << quint64(1234567890) << true << false;
    QTest::newRow("tax number off by one") << quint64(1234567891) << false << false;
    QTest::newRow("ten digits, leading zero is short") << quint64(123456789) << false << false;
    QTest::newRow("twelve digits") << quint64(100000001460) << false << false;
    QTest::newRow("zero") << quint64(0) << false << false;
    QTest::newRow("largest") << std::numeric_limits<quint64>::max() << false << false;
}

void TestIdentity::knownNumbers()
{
    QFETCH(quint64, number);
    QTEST(isValidTaxNo(number), "taxNo");
    QTEST(isValidNationalNo(number), "nationalNo");
}

void TestIdentity::generatedValidNumbers()
{
    QRandomGenerator random(1923);
    for (int i = 0; i < 2000; ++i) {
        const std::string prefix = std::to_string(100000000 + random.bounded(900000000));
        const std::string t = reference::tcknFrom(prefix);
        QVERIFY(!t.empty());
        QVERIFY2(isValidNationalNo(std::stoull(t)), t.c_str());
        const std::string v = reference::vknFrom(prefix);
        QVERIFY(!v.empty());
        QVERIFY2(isValidTaxNo(std::stoull(v)), v.c_str());
    }
}

void TestIdentity::agreesOnRandomNumbers()
{
    QRandomGenerator random(2024);
    int validT = 0, validV = 0;
    for (int i = 0; i < 200000; ++i) {
        const quint64 ten = 1000000000ULL + random.bounded(Q_UINT64_C(9000000000));
        const quint64 eleven = 10000000000ULL + random.bounded(Q_UINT64_C(90000000000));
        const bool v = reference::vkn(std::to_string(ten));
        const bool t = reference::tckn(std::to_string(eleven));
        QVERIFY2(isValidTaxNo(ten) == v, std::to_string(ten).c_str());
        QVERIFY2(isValidNationalNo(eleven) == t, std::to_string(eleven).c_str());
        QVERIFY(!isValidNationalNo(ten) && !isValidTaxNo(eleven));
        validT += t;
        validV += v;
    }
    // About one in ten of each passes: both sides of the comparison were exercised.
    QVERIFY(validV > 10000 && validT > 1000);
}

QTEST_APPLESS_MAIN(TestIdentity)
#include "tst_identity.moc"

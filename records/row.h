#pragma once

#include "pricing/carat.h"
#include "pricing/caratconfig.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <utility>

class User;

enum PayerKind : int {
    PayerUndetermined = 0,
    PayerCompany = 1,     // a tax number applies
    PayerPerson = 2,      // a personal number applies
};

// The 10-digit tax number (VKN) and the 11-digit personal number (TCKN) check digits.
bool isValidTaxNo(quint64 n);
bool isValidNationalNo(quint64 n);
// Turkish letters folded to Latin, trimmed and upper-cased, in place.
void normalizeName(QString &name);

// One incoming payment of a statement and, at the same time, one invoice candidate.
// A value type: copied and moved freely; the User it points to must outlive it.
class Row
{
public:
    static constexpr int columnCount = 13;
    static constexpr qint64 unknownPerson = 11111111111LL;
    static constexpr qint64 minimumPrice = 1000;   // 10.00 lira

    explicit Row(User *user = nullptr);
    // A row for one payment given by its fields (server calculations).
    Row(User *user, const QByteArray &date, const QByteArray &name, qint64 price, qint64 ident);

    void clear();
    Row &&move() { return std::move(*this); }
    bool locked() const { return !draftId.isEmpty(); }

    // Identity and name.
    void setIdent(qint64 n);
    qint64 ident() const;
    int kind() const;
    void setName(const QByteArray &name);
    QByteArray firstName() const { return names.isEmpty() ? QByteArray() : names.first(); }
    void checkName();
    bool checkFilter();
    bool garbage() const;
    // Rate, carats and missing identity or name from the customer directory.
    void reset();

    // Date and money.
    void setDate(const QByteArray &text);
    void setPrice(qint64 p);
    void checkPrice();
    void setAmount(qint64 a);
    void setPureRate(qint64 r);
    void setRate(qint64 r);
    void setProductPrice(qint64 v);
    void setLaborPrice(qint64 l);
    void setLaborTax(qint64 x);
    void setLaborUnit(qint64 u);
    void setLaborGram(qint64 g);

    // Step to the neighbouring candidate of the selected carat line; the sign gives the direction.
    void incRate(int direction);
    void incAmount(int direction);
    void incLaborUnit(int direction);
    void incProductPrice(int direction);
    void incLaborPrice(int direction);
    void incLaborTax(int direction);

    // Column access for the table editors and the server.
    void set(int column, const QByteArray &text);
    void set(int column, const QString &text);
    void set(int column, qint64 v);
    void set(int column, int direction, qint64 v);
    qint64 value(int column) const;

    // Products (carat lines) among the candidates.
    void uindex(int i);
    int uindex() const;
    QList<int> caratIndices() const;
    QList<QString> caratNames() const;

    // The selected candidate, or null when the row has none (a locked row after reset).
    const Carat *selected() const;
    // The selected candidate's carat line, or null.
    const CaratConfig *selectedLine() const;

    void calculate();
    void recalc();
    void refresh();
    void operator()();

    // The status text of the desktop's table.
    QString statusText() const;

    QJsonObject toJO() const;
    static QJsonArray nameListToJA(const QList<QByteArray> &names, const QList<int> &scores);

    QByteArray raw;
    QByteArray draftId;
    QByteArray invoiceNo;
    QByteArray date;
    QList<QByteArray> names;
    QList<int> scores;
    RateConfig rate;
    CaratList carats;
    QList<QString> texts;
    QList<QByteArray> tokens{QByteArray()};
    QString note;
    User *user = nullptr;
    qint64 price = 0;
    qint64 taxNo = 0;
    qint64 nationalNo = 0;
    qint64 amount = 0;
    qint64 pureRate = 0;
    int caratIndex = 0;
    int caratId = 0;
    bool invoiced = false;
    bool invalid = false;
    bool excluded = false;
    bool filtered = false;
    bool combined = false;

private:
    enum class Stepped { Rate, Amount, LaborUnit, ProductPrice, LaborPrice, LaborTax };
    void step(Stepped what, int direction);
    void selectIndex(int index);
    void fetchRate();
    const CaratConfig *lineOf(int ci) const;
};

// Merges the payments of one payer (mode 1: whatever the date, 2: on the same date, 0: never)
// and drops the rows that were absorbed.
void combineRecords(QList<Row> &rows, int mode);
// Sets aside the rows whose payer name holds one of the words as a whole word.
void autoFilterRows(QList<Row> &rows, const QList<QString> &words);

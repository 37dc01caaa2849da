#include "combinator.h"

namespace {

// A row that was merged into another stays reachable through the indexes; it must
// neither absorb nor be absorbed again, or its payment would count twice.
bool absorbed(const Row *row)
{
    return row->excluded;
}

void exchangeNumbers(Row *a, Row *b)
{
    if (a->taxNo == 0)
        a->taxNo = b->taxNo;
    if (b->taxNo == 0)
        b->taxNo = a->taxNo;
    if (a->nationalNo == 0)
        a->nationalNo = b->nationalNo;
    if (b->nationalNo == 0)
        b->nationalNo = a->nationalNo;
}

void setFirst(Row *row, const QByteArray &name, int score)
{
    if (row->names.isEmpty())
        row->names.append(QByteArray());
    if (row->scores.isEmpty())
        row->scores.append(0);
    row->names[0] = name;
    row->scores[0] = score;
}

} // namespace

bool Combinator::combineRows(Row *a, Row *b)
{
    if (a == b || absorbed(a) || absorbed(b))
        return false;
    if (b->date > a->date)
        a->date = b->date;
    a->price += b->price;
    const QByteArray aName = a->firstName();
    const QByteArray bName = b->firstName();
    if (aName.size() < bName.size())
        setFirst(a, bName, b->scores.value(0));
    if (!a->raw.isEmpty())
        a->raw.append('\n');
    a->raw.append(b->raw);
    if (a->names.size() > 1)
        a->names.resize(1);
    if (a->scores.size() > 1)
        a->scores.resize(1);
    b->excluded = true;
    b->combined = true;
    a->combined = true;
    return true;
}

bool Combinator::combineIdent(Row *a, Row *b)
{
    if (a == b)
        return false;
    exchangeNumbers(a, b);
    return a->ident() == b->ident() && combineRows(a, b);
}

int Combinator::nameDifferences(const QByteArray &s, const QByteArray &t)
{
    const qsizetype sn = s.size(), tn = t.size();
    qsizetype i = 0, j = 0;
    int differences = 0;
    while (i < sn && j < tn) {
        qsizetype k = 0;
        while (i + k < sn && j + k < tn && s.at(i + k) == t.at(j + k))
            ++k;
        if (i + k >= sn || j + k >= tn)
            break;
        const char x = s.at(i + k), y = t.at(j + k);
        const bool sSkips = i + k + 1 >= sn || s.at(i + k + 1) != y;
        const bool tSkips = j + k + 1 >= tn || t.at(j + k + 1) != x;
        const qsizetype sLeft = sn - (i + k), tLeft = tn - (j + k);
        const qsizetype di = tSkips || (!sSkips && sLeft >= tLeft) ? k + 1 : k;
        const qsizetype dj = sSkips || (!tSkips && tLeft >= sLeft) ? k + 1 : k;
        i += di;
        j += dj;
        ++differences;
    }
    return differences;
}

bool Combinator::combineNames(Row *a, Row *b)
{
    if (a == b)
        return false;
    const QByteArray s = a->firstName();
    const QByteArray t = b->firstName();
    if (s.isEmpty() || nameDifferences(s, t) <= 2)
        return combineRows(a, b);
    const int aScore = a->scores.value(0);
    const int bScore = b->scores.value(0);
    if (b->names.contains(s))
        setFirst(b, s, aScore);
    if (a->names.contains(t))
        setFirst(a, t, bScore);
    return a->firstName() == b->firstName() && combineRows(a, b);
}

void Combinator::combine(Row *row)
{
    Bucket &bucket = buckets[allDays ? QByteArray() : row->date];
    const QByteArray name = row->firstName();
    if (!name.isEmpty()) {
        QByteArray key = name;
        key.replace(' ', QByteArray());
        QMap<qint64, Row *> &sameName = bucket.byName[key];
        if (sameName.isEmpty()) {
            sameName.insert(row->ident(), row);
        } else {
            qint64 taxNo = 0, nationalNo = 0;
            for (const Row *other : std::as_const(sameName)) {
                if (other->taxNo != 0)
                    taxNo = other->taxNo;
                if (other->nationalNo != 0)
                    nationalNo = other->nationalNo;
            }
            if (row->taxNo == 0)
                row->taxNo = taxNo;
            if (row->nationalNo == 0)
                row->nationalNo = nationalNo;
            const qint64 id = row->ident();
            Row *indexed = sameName.value(id, nullptr);
            if (indexed && indexed != row && !absorbed(indexed)) {
                exchangeNumbers(indexed, row);
                if (indexed->ident() == row->ident())
                    combineRows(indexed, row);
            } else if (indexed != row) {
                // Either nobody is indexed under this number yet, or only an absorbed row.
                sameName.insert(id, row);
                Row *first = nullptr;
                for (Row *candidate : std::as_const(sameName)) {
                    if (!absorbed(candidate)) {
                        first = candidate;
                        break;
                    }
                }
                if (first && first != row) {
                    exchangeNumbers(row, first);
                    if (row->ident() == first->ident())
                        combineRows(row, first);
                }
            }
        }
    }

    if (absorbed(row) || row->ident() == 0)
        return;
    QMap<QByteArray, Row *> &sameNumber = bucket.byNumber[row->ident()];
    if (sameNumber.isEmpty()) {
        sameNumber.insert(row->firstName(), row);
        return;
    }
    // Snapshot: combineNames may rename rows but never touches this map.
    const QList<Row *> candidates = sameNumber.values();
    for (Row *other : candidates) {
        if (absorbed(other))
            continue;
        if (combineNames(other, row))
            return;
    }
    if (!sameNumber.contains(row->firstName()))
        sameNumber.insert(row->firstName(), row);
}

void combineRecords(QList<Row> &rows, int mode)
{
    if (mode != 1 && mode != 2)
        return;
    Combinator combinator(mode == 1);
    for (Row &row : rows) {
        if (!row.excluded && !row.invalid && !row.locked())
            combinator(row);
    }
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        if (rows.at(i).combined && rows.at(i).excluded)
            rows.removeAt(i);
    }
}

void autoFilterRows(QList<Row> &rows, const QList<QString> &words)
{
    if (words.isEmpty())
        return;
    for (Row &row : rows) {
        if (row.invalid || row.locked() || row.names.size() > 1)
            continue;
        const QString name = QString::fromLatin1(row.firstName());
        for (const QString &word : words) {
            if (word.isEmpty())
                continue;
            bool whole = false;
            for (qsizetype at = name.indexOf(word); at >= 0; at = name.indexOf(word, at + 1)) {
                const qsizetype end = at + word.size();
                if ((at == 0 || name.at(at - 1) == QLatin1Char(' '))
                    && (end == name.size() || name.at(end) == QLatin1Char(' '))) {
                    whole = true;
                    break;
                }
            }
            if (whole) {
                row.excluded = true;
                row.filtered = true;
                break;
            }
        }
    }
}

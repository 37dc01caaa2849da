#pragma once

#include "row.h"

#include <QByteArray>
#include <QHash>
#include <QMap>

// Indexes the rows offered so far by payer name and by identity number and merges each new
// row into a row of the same payer. Lives for one combineRecords call; it refers to the
// caller's rows without owning them, so the list must not change size meanwhile.
class Combinator
{
public:
    explicit Combinator(bool allDays) : allDays(allDays) {}

    void combine(Row *row);
    void operator()(Row &row) { combine(&row); }

    // a absorbs b when they turn out to be one payer; each returns whether it merged.
    static bool combineIdent(Row *a, Row *b);
    static bool combineNames(Row *a, Row *b);
    static bool combineRows(Row *a, Row *b);
    // Differences between two names under the greedy alignment used by combineNames.
    static int nameDifferences(const QByteArray &s, const QByteArray &t);

private:
    struct Bucket
    {
        QHash<QByteArray, QMap<qint64, Row *>> byName;
        QHash<qint64, QMap<QByteArray, Row *>> byNumber;
    };

    bool allDays;
    QHash<QByteArray, Bucket> buckets;
};

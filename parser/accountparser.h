#pragma once

#include "config/config.h"
#include "records/row.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <array>

class QIODevice;
class User;

// Words and phrases of one word list that may match at one position of a text.
struct FieldMatch
{
    QSet<QByteArray> words;
    QList<QByteArray> phrases;   // longest first, so the most specific phrase decides
};

// Position 0: the whole text; 1: its first word; 2: its last word; 3: a word inside.
using FieldMatchers = std::array<FieldMatch, 4>;
using WordLists = std::array<QList<QByteArray>, FilterCategoryCount>;

// Turns bank statement files into payment rows: a reader makes one normalised line per
// entry ("d.m.yyyy|field|...|field"), parseText classifies the fields of each line.
class AccountParser
{
public:
    // Marker codes that checkWord returns and that stand in for matched words.
    enum Marker { Ordinary = 0, Erase = 1, Filter = 2, IgnoreRest = 3, NameNext = 4, NamePrev = 5 };

    explicit AccountParser(User *user);
    // A parser steered by the given lists and name table alone (tools, fuzzing, tests).
    AccountParser(const WordLists &lists, const QHash<QByteArray, NamePoints> *names, User *user = nullptr);

    static QByteArray readTable(QIODevice &device);
    static QByteArray readPDF(QIODevice &device);

    QList<Row> parseText(QByteArray text);
    void combineRecords(QList<Row> &rows);

    // Field classification; public so that each step can be exercised on its own.
    void makeFilter(FieldMatchers &matchers, const QList<QByteArray> &entries);
    int checkWord(QByteArray &word, int position) const;
    int formatWord(QByteArray &word, int index, int count) const;
    QList<QByteArray> splitField(const QByteArray &field, const QByteArray &previous);
    void pushWords(QList<QByteArray> &out, QList<QByteArray> &words, const QByteArray &previous);
    QList<QByteArray> formatField(const QByteArray &field, const QByteArray &previous);
    void formatAlpha(const QByteArray &field, const QByteArray &previous);
    void formatNumber(QByteArray &field, int lastComma, int commas, int lastDot, int dots);
    void formatDigits(QByteArray &field);
    void formatDate(QByteArray &field);
    void formatLine();
    int checkName(const QList<QByteArray> &words) const;
    int checkName(const QByteArray &name) const;
    bool saveName(const QByteArray &name, int level);
    int fnamePoint(const QByteArray &word) const;
    int snamePoint(const QByteArray &word) const;

    // The row being filled; tests feed fields into it and read it back.
    Row &currentRow() { return row; }
    void clearRow();
    const QSet<QByteArray> &suspectSet() const { return suspectWords; }
    const FieldMatchers &matchersOf(FilterCategory category) const { return matchers[category]; }

private:
    void init(const WordLists &lists);
    bool isCompanyWord(QByteArray word) const;
    qsizetype companySuffixDot(const char *text, qsizetype i, qsizetype length) const;
    qsizetype abbreviationLetters(const QList<QByteArray> &words, qsizetype k) const;
    void walkPart(const QByteArray &part, QList<QByteArray> &result, const QByteArray &previous);

    QList<Row> rows;
    Row row;
    std::array<FieldMatchers, FilterCategoryCount> matchers;
    QSet<QByteArray> companyWords;
    QSet<QByteArray> suspectWords;
    const QHash<QByteArray, NamePoints> *nameTable = nullptr;
    User *user = nullptr;
    int nameLookahead = 0;   // depth of the look-ahead after a "name follows" word
};

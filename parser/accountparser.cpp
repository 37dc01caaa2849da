#include "accountparser.h"

#include "config/config.h"
#include "config/user.h"

#include <algorithm>

namespace {

inline bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool isLower(char c) { return c >= 'a' && c <= 'z'; }
inline bool isLetter(char c) { return isUpper(c) || isLower(c); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

WordLists listsOf(const User *user)
{
    WordLists lists;
    if (!user || !user->config)
        return lists;
    for (int category = 0; category < FilterCategoryCount; ++category)
        lists[category] = user->config->fields[category].words;
    return lists;
}

const QHash<QByteArray, NamePoints> *namesOf(const User *user)
{
    return user && user->config ? &user->config->names : nullptr;
}

} // namespace

AccountParser::AccountParser(User *user)
    : row(user), nameTable(namesOf(user)), user(user)
{
    init(listsOf(user));
}

AccountParser::AccountParser(const WordLists &lists, const QHash<QByteArray, NamePoints> *names, User *user)
    : row(user), nameTable(names), user(user)
{
    init(lists);
}

void AccountParser::init(const WordLists &lists)
{
    for (const QByteArray &word : lists[CompFields]) {
        if (!word.isEmpty())
            companyWords.insert(word);
    }
    for (const QByteArray &word : lists[SuspFields]) {
        if (!word.isEmpty())
            suspectWords.insert(word);
    }
    for (int category = 0; category < FilterCategoryCount; ++category) {
        if (category != CompFields && category != SuspFields)
            makeFilter(matchers[category], lists[category]);
    }
}

void AccountParser::clearRow()
{
    row.clear();
}

void AccountParser::combineRecords(QList<Row> &list)
{
    if (user)
        ::combineRecords(list, user->combine);
}

// The word of letters and dots that ends at text[end - 1] or starts at text[begin].
static QByteArray wordBefore(const char *text, qsizetype end)
{
    qsizetype begin = end;
    while (begin > 0 && (isLetter(text[begin - 1]) || text[begin - 1] == '.'))
        --begin;
    return QByteArray(text + begin, end - begin).toUpper();
}

static QByteArray wordAfter(const char *text, qsizetype begin, qsizetype length)
{
    qsizetype end = begin;
    while (end < length && (isLetter(text[end]) || text[end] == '.'))
        ++end;
    return QByteArray(text + begin, end - begin).toUpper();
}

bool AccountParser::isCompanyWord(QByteArray word) const
{
    if (companyWords.contains(word))
        return true;
    while (word.endsWith('.'))
        word.chop(1);
    return !word.isEmpty() && companyWords.contains(word);
}

// A dot at text[i], followed by spaces, that closes a company abbreviation
// running on into another company word ("LTD. STI.", "TIC. A.S."); returns
// where that word starts, or 0. Other dots before a space end the field.
qsizetype AccountParser::companySuffixDot(const char *text, qsizetype i, qsizetype length) const
{
    qsizetype next = i + 1;
    while (next < length && text[next] == ' ')
        ++next;
    if (next == i + 1 || next >= length || !isLetter(text[next]))
        return 0;
    if (!isCompanyWord(wordBefore(text, i) + '.') || !isCompanyWord(wordAfter(text, next, length)))
        return 0;
    return next;
}

QList<Row> AccountParser::parseText(QByteArray text)
{
    if (text.size() < 32)
        return {};
    rows.clear();
    row.clear();

    const qsizetype length = text.size();
    text.append("\n\n");
    char *t = text.data();

    char p = '\n';
    QByteArray field;
    QByteArray previous;
    int commas = 0, lastComma = -1, dots = 0, lastDot = -1;

    auto append = [&](char c) {
        field.append(c);
        row.raw.append(c);
        p = c;
    };
    auto endField = [&](char separator) {
        bool dateField = false;
        if (!field.isEmpty()) {
            if (row.date.isEmpty()) {
                formatDate(field);
                dateField = true;
            } else if (isLetter(field.at(0))) {
                field = field.toUpper();
                formatAlpha(field, previous);
            } else {
                formatNumber(field, lastComma, commas, lastDot, dots);
            }
        }
        if (separator == '\n') {
            formatLine();
            if (!row.garbage())
                rows.append(row.move());
            row.clear();
            previous.clear();
        } else {
            row.raw.append(separator);
            // Names are looked for among the fields after the date only.
            if (!dateField && !field.isEmpty())
                previous = field;
        }
        field.clear();
        commas = dots = 0;
        lastComma = lastDot = -1;
        p = separator;
    };
    // Rule S: a separator between two fields; at a field's edge it is dropped.
    auto separate = [&](char n) {
        if (p != '|' && n != '|' && n != '\n')
            endField('|');
    };

    for (qsizetype i = 0; i < length; ++i) {
        const char c = t[i];
        char n = t[i + 1];
        const char m = t[i + 2];

        if (isUpper(c) && n == 'i' && !isLower(p) && !isLower(m))
            n = t[i + 1] = 'I';

        switch (c) {
        case '\n':
            if (p != '\n')
                endField('\n');
            continue;
        case ' ':
            if (n == ' ')
                continue;
            if (isLetter(p) && isLetter(n) && (!isUpper(p) || isUpper(n)) && isUpper(p) == isUpper(m)
                && !field.isEmpty() && isUpper(n) == isUpper(field.at(0)))
                append(c);
            else
                separate(n);
            continue;
        case ',':
            if (isDigit(p) && isDigit(n)) {
                lastComma = int(field.size());   // only the order of the two positions matters
                append(c);
                ++commas;
            } else {
                separate(n);
            }
            continue;
        case '-':
            if (p != '|' && n != '|' && n != '\n')
                endField('|');
            else if (isDigit(n))
                append(c);
            continue;
        case '.':
            if (isDigit(p) && isDigit(n)) {
                lastDot = int(field.size());
                append(c);
                ++dots;
            } else if (isLetter(p) && isLetter(n)) {
                append(' ');
            } else if (const qsizetype next = companySuffixDot(t, i, length);
                       isLetter(p) && next > 0 && !field.isEmpty() && isUpper(t[next]) == isUpper(field.at(0))) {
                // "SAN. VE TIC. LTD. STI.": the name goes on after the abbreviation.
                append(' ');
                i = next - 1;
            } else {
                separate(n);
            }
            continue;
        case '|':
            separate(n);
            continue;
        default:
            break;
        }

        // A lower-case word running into a capitalised one: read a space before the capital.
        if (isUpper(c) && isLower(p) && isLower(n) && i > 0) {
            t[i - 1] = ' ';
            i -= 2;
            continue;
        }
        if (p != ' ' && p != '|'
            && (isLetter(c) != isLetter(p) || (isUpper(c) && isLower(p) != isLower(n)))) {
            if (p != '|' && n != '|' && n != '\n') {
                endField('|');
                --i;   // c starts the next field
            }
            continue;
        }
        append(c);
    }
    return std::move(rows);
}

void AccountParser::formatLine()
{
    if (row.checkFilter())
        return;
    if (!row.names.isEmpty()) {
        row.tokens.clear();
        return;
    }
    QList<QByteArray> &tokens = row.tokens;
    // The steps below rebuild the list instead of removing in place: a line can hold
    // very many tokens, and removal one by one would cost quadratic time.
    if (tokens.size() > 1) {
        qsizetype end = tokens.indexOf(QByteArrayLiteral(">"), 1);
        if (end < 0)
            end = tokens.size();
        QList<QByteArray> kept{tokens.first()};
        for (qsizetype k = 1; k < end; ++k) {
            if (tokens.at(k).size() > 2)
                kept.append(tokens.at(k));
        }
        tokens = std::move(kept);
    }

    // A token met again names the payer; the walk from the end offers the earlier copy.
    if (tokens.size() > 1) {
        QHash<QByteArray, qsizetype> firstIndex;
        for (qsizetype k = 0; k < tokens.size(); ++k)
            firstIndex.insert(tokens.at(k), std::min(firstIndex.value(tokens.at(k), k), k));
        QList<bool> repeated(tokens.size(), false);
        for (qsizetype k = tokens.size() - 1; k >= 1; --k) {
            const qsizetype first = firstIndex.value(tokens.at(k));
            if (first < k) {
                saveName(tokens.at(first), 5);
                repeated[k] = true;
            }
        }
        QList<QByteArray> kept;
        for (qsizetype k = 0; k < tokens.size(); ++k) {
            if (!repeated.at(k))
                kept.append(tokens.at(k));
        }
        tokens = std::move(kept);
    }

    bool phrases = false;
    const QList<QByteArray> &candidates = row.names.isEmpty() ? tokens : row.names;
    for (const QByteArray &candidate : candidates) {
        if (candidate.contains(' ')) {
            phrases = true;
            break;
        }
    }
    if (tokens.size() >= 14)
        tokens.resize(13);

    QList<QByteArray> kept;
    for (const QByteArray &token : std::as_const(tokens)) {
        if (token.contains(' ') || !(phrases || suspectWords.contains(token)))
            kept.append(token);
    }
    tokens = std::move(kept);

    if (row.names.isEmpty()) {
        for (int level = 5; level >= 1; --level) {
            for (QByteArray &token : tokens) {
                if (!token.isEmpty() && saveName(token, level))
                    token.clear();
            }
        }
    }

    kept.clear();
    for (const QByteArray &token : std::as_const(tokens)) {
        if (!token.isEmpty() && !row.names.contains(token))
            kept.append(token);
    }
    tokens = std::move(kept);
    row.checkName();
}

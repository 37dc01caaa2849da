// Field classification: which words of a statement line are the payer's name, which
// numbers are the amount and the identity number.

#include "accountparser.h"

#include <algorithm>

namespace {

enum Position { Whole = 0, First = 1, Last = 2, Inside = 3 };

const char *markerText(int code)
{
    static const char *const texts[] = {"", "@", "?", ">", "=", "<"};
    return code >= 1 && code <= 5 ? texts[code] : "";
}

QList<QByteArray> splitWords(const QByteArray &text)
{
    QList<QByteArray> words = text.split(' ');
    words.removeAll(QByteArray());
    return words;
}

QByteArray joinWords(const QList<QByteArray> &words, qsizetype from = 0, qsizetype to = -1)
{
    if (to < 0)
        to = words.size();
    QByteArray text;
    for (qsizetype k = from; k < to; ++k) {
        if (!text.isEmpty())
            text.append(' ');
        text.append(words.at(k));
    }
    return text;
}

// Where a phrase of a word list stands in a field, and the text on either side of it.
struct PhraseHit
{
    int position = -1;   // -1: no phrase matched
    QByteArray head;
    QByteArray tail;
};

PhraseHit findPhrase(const FieldMatchers &matchers, const QByteArray &field)
{
    PhraseHit hit;
    for (const QByteArray &phrase : matchers[Whole].phrases) {
        if (field == phrase) {
            hit.position = Whole;
            return hit;
        }
    }
    for (const QByteArray &phrase : matchers[First].phrases) {
        if (field.size() > phrase.size() && field.startsWith(phrase) && field.at(phrase.size()) == ' ') {
            hit.position = First;
            hit.tail = field.mid(phrase.size() + 1);
            return hit;
        }
    }
    for (const QByteArray &phrase : matchers[Last].phrases) {
        const qsizetype start = field.size() - phrase.size();
        if (start > 0 && field.endsWith(phrase) && field.at(start - 1) == ' ') {
            hit.position = Last;
            hit.head = field.left(start - 1);
            return hit;
        }
    }
    for (const QByteArray &phrase : matchers[Inside].phrases) {
        const qsizetype start = field.indexOf(phrase);
        const qsizetype end = start + phrase.size();
        if (start > 0 && end < field.size() && field.at(start - 1) == ' ' && field.at(end) == ' ') {
            hit.position = Inside;
            hit.head = field.left(start - 1);
            hit.tail = field.mid(end + 1);
            return hit;
        }
    }
    return hit;
}

// Amount text with at most two decimals to kuruş; false for anything else.
bool toKurus(const QByteArray &text, qint64 &kurus)
{
    qsizetype k = 0;
    const bool negative = text.startsWith('-');
    if (negative)
        ++k;
    qint64 whole = 0;
    int digits = 0;
    int significant = 0;   // zero-padded amounts ("00000000000011093.00") are common
    for (; k < text.size() && text.at(k) >= '0' && text.at(k) <= '9'; ++k) {
        ++digits;
        if ((whole != 0 || text.at(k) != '0') && ++significant > 15)
            return false;
        whole = whole * 10 + (text.at(k) - '0');
    }
    if (k >= text.size() || text.at(k) != '.')
        return false;
    ++k;
    int cents = 0;
    int decimals = 0;
    for (; k < text.size() && decimals < 2; ++k, ++decimals) {
        if (text.at(k) < '0' || text.at(k) > '9')
            return false;
        cents = cents * 10 + (text.at(k) - '0');
    }
    if (k != text.size() || (digits == 0 && decimals == 0))
        return false;
    if (decimals == 1)
        cents *= 10;
    kurus = whole * 100 + cents;
    if (negative)
        kurus = -kurus;
    return true;
}

} // namespace

int AccountParser::fnamePoint(const QByteArray &word) const
{
    return nameTable ? nameTable->value(word).first : 0;
}

int AccountParser::snamePoint(const QByteArray &word) const
{
    return nameTable ? nameTable->value(word).second : 0;
}

void AccountParser::makeFilter(FieldMatchers &target, const QList<QByteArray> &entries)
{
    for (QByteArray entry : entries) {
        bool starred = false;
        bool mayBegin = false;   // may stand at the start of a text
        bool mayEnd = false;     // may stand at the end of a text
        if (entry.endsWith('*')) {
            entry.chop(1);
            mayBegin = starred = true;
        }
        if (entry.startsWith('*')) {
            entry.remove(0, 1);
            mayEnd = starred = true;
        }
        if (entry.isEmpty())
            continue;

        if (entry.contains(' ')) {
            target[Whole].phrases.append(entry);
            if (mayBegin || !mayEnd)
                target[First].phrases.append(entry);
            if (mayEnd || !mayBegin)
                target[Last].phrases.append(entry);
            if (mayBegin == mayEnd)
                target[Inside].phrases.append(entry);
            continue;
        }

        // A plain word that is also a name or company word would eat into payers' names
        // where those usually stand.
        if (!starred) {
            mayBegin = !(fnamePoint(entry) != 0 || companyWords.contains(entry));
            mayEnd = !(snamePoint(entry) != 0 || companyWords.contains(entry));
        }
        target[Whole].words.insert(entry);
        if (mayBegin)
            target[First].words.insert(entry);
        if (mayEnd) {
            target[Last].words.insert(entry);
            if (mayBegin)
                target[Inside].words.insert(entry);
        }
        if (!(mayBegin && mayEnd))
            suspectWords.insert(entry);
    }
    for (FieldMatch &match : target) {
        std::stable_sort(match.phrases.begin(), match.phrases.end(),
                         [](const QByteArray &a, const QByteArray &b) { return a.size() > b.size(); });
    }
}

int AccountParser::checkWord(QByteArray &word, int position) const
{
    if (word.size() == 1) {
        switch (word.at(0)) {
        case '<': return NamePrev;
        case '=': return NameNext;
        case '>': return IgnoreRest;
        case '?': return Filter;
        case '@': return Erase;
        default:
            word = "@";
            return Erase;
        }
    }
    position = std::clamp(position, 0, 3);
    static const struct { FilterCategory category; int code; } order[] = {
        {SelectPrev, NamePrev}, {SelectNext, NameNext}, {IgnoreNext, IgnoreRest},
        {FilterWord, Filter}, {EraseField, Erase},
    };
    for (const auto &entry : order) {
        if (matchers[entry.category][position].words.contains(word)) {
            word = markerText(entry.code);
            return entry.code;
        }
    }

    // Words that cannot be Turkish: two letters without a vowel, or Q, W, X without one.
    const bool foreignLetters = word.contains('Q') || word.contains('W') || word.contains('X');
    if (word.size() != 2 && !foreignLetters)
        return Ordinary;
    for (const char vowel : {'A', 'E', 'I', 'O', 'U'}) {
        if (word.contains(vowel))
            return Ordinary;
    }
    word = "@";
    return Erase;
}

int AccountParser::formatWord(QByteArray &word, int index, int count) const
{
    int position = Inside;
    if (count == 1)
        position = Whole;
    else if (index == 0)
        position = First;
    else if (index == count - 1)
        position = Last;
    return checkWord(word, position);
}

QList<QByteArray> AccountParser::splitField(const QByteArray &field, const QByteArray &previous)
{
    if (field.size() == 1) {
        const char c = field.at(0);
        if (c == '<' || c == '=' || c == '>' || c == '?')
            return {field};
        return {QByteArrayLiteral("@")};
    }
    if (field == "TL" || field == "TRY")
        return {};

    if (findPhrase(matchers[FilterWord], field).position >= 0)
        return {QByteArrayLiteral("?")};

    PhraseHit hit = findPhrase(matchers[SelectPrev], field);
    switch (hit.position) {
    case Whole:
    case First:
        saveName(previous, 1);
        return {QByteArrayLiteral(">")};
    case Last:
        if (saveName(hit.head, 5))
            return {QByteArrayLiteral(">")};
        return {hit.head, QByteArrayLiteral("@")};
    case Inside:
        if (saveName(hit.head, 5))
            return {QByteArrayLiteral(">")};
        return {hit.head, QByteArrayLiteral("@"), hit.tail};
    default:
        break;
    }

    hit = findPhrase(matchers[SelectNext], field);
    switch (hit.position) {
    case Whole:
        return {QByteArrayLiteral("=")};
    case First:
        if (saveName(hit.tail, 5))
            return {QByteArrayLiteral(">")};
        return {QByteArrayLiteral("@"), hit.tail};
    case Last:
        return {hit.head, QByteArrayLiteral("=")};
    case Inside:
        if (saveName(hit.tail, 5))
            return {hit.head, QByteArrayLiteral(">")};
        return {hit.head, QByteArrayLiteral("@"), hit.tail};
    default:
        break;
    }

    hit = findPhrase(matchers[IgnoreNext], field);
    switch (hit.position) {
    case Whole:
    case First:
        return {QByteArrayLiteral(">")};
    case Last:
    case Inside:
        return {hit.head, QByteArrayLiteral(">")};
    default:
        break;
    }

    hit = findPhrase(matchers[EraseField], field);
    switch (hit.position) {
    case Whole:
        return {QByteArrayLiteral("@")};
    case First:
        return {QByteArrayLiteral("@"), hit.tail};
    case Last:
        return {hit.head, QByteArrayLiteral("@")};
    case Inside:
        return {hit.head, QByteArrayLiteral("@"), hit.tail};
    default:
        break;
    }
    return {field};
}

void AccountParser::pushWords(QList<QByteArray> &out, QList<QByteArray> &words, const QByteArray &previous)
{
    if (!words.isEmpty())
        out.append(splitField(joinWords(words), previous));
    words.clear();
}

QList<QByteArray> AccountParser::formatField(const QByteArray &field, const QByteArray &previous)
{
    QList<QByteArray> list{field};
    // Each pass can only cut words out or turn them into markers; the bound is a safety net.
    for (int pass = 0; pass < 32; ++pass) {
        QList<QByteArray> result;
        for (const QByteArray &token : std::as_const(list)) {
            for (const QByteArray &part : splitField(token, previous))
                walkPart(part, result, previous);
        }
        if (result == list)
            break;
        list = std::move(result);
    }
    return list;
}

qsizetype AccountParser::abbreviationLetters(const QList<QByteArray> &words, qsizetype k) const
{
    QByteArray dotted;
    qsizetype end = k;
    while (end < words.size() && words.at(end).size() == 1 && words.at(end).at(0) >= 'A'
           && words.at(end).at(0) <= 'Z') {
        dotted += words.at(end) + '.';
        ++end;
    }
    return end - k >= 2 && isCompanyWord(dotted) ? end - k : 0;
}

void AccountParser::walkPart(const QByteArray &part, QList<QByteArray> &result, const QByteArray &previous)
{
    const QList<QByteArray> words = splitWords(part);
    QList<QByteArray> pending;
    qsizetype segmentStart = 0;
    for (qsizetype k = 0; k < words.size(); ++k) {
        const qsizetype segmentSize = words.size() - segmentStart;
        int position = Inside;
        if (segmentSize == 1)
            position = Whole;
        else if (pending.isEmpty())
            position = First;
        else if (k == words.size() - 1)
            position = Last;

        // "A.S." reaches here as "A S": single letters that spell a company
        // abbreviation stay with the name instead of being erased one by one.
        if (const qsizetype letters = abbreviationLetters(words, k); letters > 0) {
            for (qsizetype j = k; j < k + letters; ++j)
                pending.append(words.at(j));
            k += letters - 1;
            continue;
        }

        QByteArray word = words.at(k);
        const int code = checkWord(word, position);
        if (code == Ordinary) {
            pending.append(word);
            // A name written twice in a row: "AHMET YILMAZ AHMET YILMAZ".
            const qsizetype rest = words.size() - k - 1;
            if (pending.size() >= 2 && rest == pending.size()
                && std::equal(pending.cbegin(), pending.cend(), words.cbegin() + k + 1)) {
                if (saveName(joinWords(pending), 5))
                    pending.clear();
                break;
            }
            continue;
        }

        const QList<QByteArray> before = pending;
        pushWords(result, pending, previous);
        segmentStart = k + 1;
        bool stop = false;
        switch (code) {
        case NamePrev:
            if (k == 0) {
                if (!previous.isEmpty() && ((previous.at(0) >= 'A' && previous.at(0) <= 'Z')
                                            || (previous.at(0) >= 'a' && previous.at(0) <= 'z'))) {
                    saveName(previous, 1);
                    result.append(QByteArrayLiteral(">"));
                    stop = true;
                } else if (!result.isEmpty() && saveName(result.last(), 5)) {
                    result.last() = QByteArrayLiteral(">");
                    stop = true;
                }
            } else if (!result.isEmpty() && !before.isEmpty() && result.last().endsWith(joinWords(before))
                       && saveName(result.last(), 5)) {
                result.last() = QByteArrayLiteral(">");
                stop = true;
            }
            if (!stop)
                result.append(QByteArrayLiteral("@"));
            break;
        case NameNext:
            if (k + 1 < words.size()) {
                // Names are short: a bounded look-ahead, one level deep, keeps long runs of
                // such words from costing quadratic or exponential time.
                const QByteArray following = joinWords(words, k + 1, std::min(words.size(), k + 1 + 16));
                QList<QByteArray> tokens;
                if (nameLookahead == 0) {
                    ++nameLookahead;
                    tokens = formatField(following, previous);
                    --nameLookahead;
                }
                if (!tokens.isEmpty() && following.startsWith(tokens.first()) && saveName(tokens.first(), 5)) {
                    result.append(QByteArrayLiteral(">"));
                    stop = true;
                } else {
                    result.append(QByteArrayLiteral("@"));
                }
            } else {
                result.append(QByteArrayLiteral("="));
                stop = true;
            }
            break;
        case Erase:
            result.append(QByteArrayLiteral("@"));
            break;
        default:   // Filter, IgnoreRest
            result.append(word);
            stop = true;
            break;
        }
        if (stop)
            break;
    }
    pushWords(result, pending, previous);
}

void AccountParser::formatAlpha(const QByteArray &field, const QByteArray &previous)
{
    QList<QByteArray> &tokens = row.tokens;
    if (!tokens.isEmpty() && tokens.last() == "=") {
        saveName(field, 1);
        tokens.last() = QByteArrayLiteral(">");
    }
    // A number followed by a text is not an amount.
    if (!tokens.isEmpty() && !tokens.last().isEmpty() && field.size() > 3 && uchar(tokens.last().at(0)) <= '9')
        tokens.removeLast();
    tokens.append(formatField(field, previous));
}

void AccountParser::formatNumber(QByteArray &field, int lastComma, int commas, int lastDot, int dots)
{
    if (!row.tokens.isEmpty() && row.tokens.last() == "=")
        row.tokens.last() = QByteArrayLiteral(">");

    if ((lastDot > lastComma && dots >= 2) || (commas >= 2 && lastComma > lastDot)) {
        for (QByteArray piece : field.split(','))
            formatDigits(piece);
        return;
    }
    // The separator that comes last is the decimal one; the other groups thousands.
    const char grouping = lastDot > lastComma ? ',' : '.';
    int toRemove = lastDot > lastComma ? commas : dots;
    for (qsizetype k = 0; k < field.size() && toRemove > 0;) {
        if (field.at(k) == grouping) {
            field.remove(k, 1);
            --toRemove;
        } else {
            ++k;
        }
    }
    field.replace(',', '.');
    formatDigits(field);
}

void AccountParser::formatDigits(QByteArray &field)
{
    const qsizetype dotCount = field.count('.');
    if (dotCount == 0) {
        if (field.size() == 12) {
            if (field.at(0) != '-')
                return;
            field.remove(0, 1);
        }
        if ((field.size() == 10 || field.size() == 11) && field.at(0) >= '1' && field.at(0) <= '9') {
            bool ok = false;
            const qint64 value = field.toLongLong(&ok);
            if (!ok || value <= 0)
                return;
            if (row.nationalNo == 0 && isValidNationalNo(quint64(value)))
                row.nationalNo = value;
            if (row.taxNo == 0 && isValidTaxNo(quint64(value)))
                row.taxNo = value;
        }
        return;
    }
    if (dotCount != 1 || row.price != 0)
        return;

    const qsizetype dot = field.indexOf('.');
    field.truncate(dot + 3);
    qint64 kurus = 0;
    if (!row.tokens.isEmpty() && row.tokens.last().contains('.') && toKurus(row.tokens.last(), kurus)) {
        row.price = kurus;
        row.tokens.removeLast();
    } else {
        row.tokens.append(field);
    }
}

void AccountParser::formatDate(QByteArray &field)
{
    if (field.size() > 1 && field.at(1) == '.')
        field.prepend('0');
    if (field.size() > 4 && field.at(4) == '.')
        field.insert(3, '0');
    row.date = field.mid(6, 4) + '-' + field.mid(3, 2) + '-' + field.left(2);
}

int AccountParser::checkName(const QByteArray &name) const
{
    if (name.size() < 5)
        return -1;
    return checkName(splitWords(name));
}

int AccountParser::checkName(const QList<QByteArray> &words) const
{
    const qsizetype n = words.size();
    if (n == 0)
        return 0;
    int doubtful = 0;
    for (const QByteArray &word : words)
        doubtful += suspectWords.contains(word) ? 1 : 0;
    int companyTail = 0;
    for (qsizetype k = 1; k < n; ++k)
        companyTail += companyWords.contains(words.at(k)) ? 1 : 0;
    const int companyHead = companyWords.contains(words.first()) ? 1 : 0;

    int evidence = snamePoint(words.last()) != 0 ? 1 : 0;
    for (qsizetype k = 0; k + 1 < n; ++k)
        evidence += fnamePoint(words.at(k)) != 0 ? 1 : 0;
    // A double surname: the word before the last is a surname and no first name.
    if (n >= 3 && words.at(n - 2) != words.first() && fnamePoint(words.at(n - 2)) == 0
        && snamePoint(words.at(n - 2)) != 0)
        ++evidence;

    if (n < 2 * doubtful)
        return 0;
    if (n == 1 || n == companyHead + companyTail)
        return 10;
    int strength;
    if (evidence + 1 < n) {
        if (companyTail > 1 || companyTail >= evidence)
            return std::clamp(int((n > 4 ? 3 : 2) + companyTail - doubtful), 1, 5) * 10;
        strength = int(2 * evidence - n - companyTail - doubtful + 3);
    } else {
        strength = int(evidence - n - companyTail - doubtful + 5);
    }
    return std::clamp(strength, 1, 5) * 11;
}

bool AccountParser::saveName(const QByteArray &name, int level)
{
    if (row.names.contains(name))
        return true;
    const int score = checkName(name);
    if (score < level * 10)
        return false;
    if (!row.names.isEmpty()) {
        if (score + 20 < row.scores.value(0))
            return false;
        if (row.names.first().contains(' ') && !name.contains(' '))
            return false;
        // A sender field cut short ("... INSAAT VE") and the full name later in
        // the line: the full name takes the cut one's place when all it adds
        // is the company's legal form.
        for (qsizetype k = 0; k < row.names.size(); ++k) {
            const QByteArray &stored = row.names.at(k);
            if (!name.startsWith(stored + ' ') || score < row.scores.at(k))
                continue;
            const QList<QByteArray> added = name.mid(stored.size() + 1).split(' ');
            if (std::all_of(added.cbegin(), added.cend(), [this](const QByteArray &w) { return isCompanyWord(w); })) {
                row.names[k] = name;
                row.scores[k] = score;
                return true;
            }
        }
        if (row.names.size() >= 9)
            return true;
    }
    row.names.append(name);
    row.scores.append(score);
    return true;
}

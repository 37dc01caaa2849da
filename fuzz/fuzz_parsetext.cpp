// libFuzzer target for AccountParser::parseText with the shipped word lists and names.
// The input is taken as normalised statement text; the first byte picks whether it is
// first passed through the same clean-up the file readers do.

#include "parser/accountparser.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

QList<QByteArray> tsvLines(const char *path)
{
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", path);
    QList<QByteArray> lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            lines.append(line);
    }
    return lines;
}

// Category keys in stored order, as data/words.tsv names them.
const char *const categoryKeys[FilterCategoryCount] = {
    "filterword", "selectnext", "selectprev", "ignorenext", "compfields", "suspfields", "erasefield",
};

struct Shipped
{
    WordLists lists;
    QHash<QByteArray, NamePoints> names;

    Shipped()
    {
        for (const QByteArray &line : tsvLines(CORVINA_SOURCE_DIR "/data/words.tsv")) {
            const QList<QByteArray> parts = line.split('\t');
            for (int category = 0; category < FilterCategoryCount; ++category) {
                if (parts.size() == 2 && parts.at(0) == categoryKeys[category])
                    lists[category].append(parts.at(1));
            }
        }
        for (const QByteArray &line : tsvLines(CORVINA_SOURCE_DIR "/data/names.tsv")) {
            const QList<QByteArray> parts = line.split('\t');
            if (parts.size() == 3)
                names.insert(parts.at(0), NamePoints(quint8(parts.at(1).toInt()), quint8(parts.at(2).toInt())));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Shipped shipped;
    static AccountParser parser(shipped.lists, &shipped.names);
    if (size == 0)
        return 0;
    QByteArray text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] & 1) {
        // The readers' alphabet: Latin letters, digits, space, ".,-", '|' and line feeds.
        for (char &c : text) {
            const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                || c == ' ' || c == '.' || c == ',' || c == '-' || c == '\n';
            if (!kept)
                c = '|';
        }
    }
    const QList<Row> rows = parser.parseText(text);
    for (const Row &row : rows) {
        if (row.names.size() > 9 || row.names.size() != row.scores.size())
            __builtin_trap();
    }
    return 0;
}

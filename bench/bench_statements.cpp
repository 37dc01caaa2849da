// Reading and parsing statements of 1,000 and 10,000 rows in each file format, the way an
// upload is handled: the file's bytes through AccountParser::readTable (PDFs go through its
// PDF text path), then AccountParser::parseText with the shipped word lists and names.
// The inputs come from bench/gen_statements.py, written into the build directory.
#include "benchmain.h"
#include "common/testdata.h"
#include "config/config.h"
#include "config/configworker.h"
#include "parser/accountparser.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const char *const formats[] = {"xlsx", "xls", "txt", "html", "pdf"};

struct Store
{
    Store() : config(makeConfig()), parser(&config->localUser) {}

    // Reading statements needs no gold rates: no rate worker beside the measured code.
    static std::unique_ptr<Config> makeConfig()
    {
        RateTuning tuning = ConfigWorker::tuning();
        tuning.startThread = false;
        ConfigWorker::setTuning(tuning);
        return std::make_unique<Config>(false);
    }

    TestDataDir data;
    std::unique_ptr<Config> config;
    AccountParser parser;
};

Store *store = nullptr;

QByteArray statement(benchmark::State &state)
{
    const QString path = QStringLiteral(CORVINA_BENCH_STATEMENTS "/statement_%1.%2")
                             .arg(state.range(1))
                             .arg(QLatin1String(formats[state.range(0)]));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError(qPrintable(QStringLiteral("cannot read ") + path));
        return QByteArray();
    }
    state.SetLabel(formats[state.range(0)]);
    return file.readAll();
}

QByteArray readFrom(QByteArray &bytes)
{
    // From memory, as an upload arrives: the disk stays out of the figures.
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return AccountParser::readTable(buffer);
}

void readStatement(benchmark::State &state)
{
    QByteArray bytes = statement(state);
    qsizetype lines = 0;
    for (auto _ : state) {
        const QByteArray text = readFrom(bytes);
        lines = text.count('\n');
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["lines"] = double(lines);
    state.SetItemsProcessed(state.iterations() * state.range(1));
}

void readAndParseStatement(benchmark::State &state)
{
    QByteArray bytes = statement(state);
    qsizetype rows = 0;
    for (auto _ : state) {
        const QList<Row> found = store->parser.parseText(readFrom(bytes));
        rows = found.size();
        benchmark::DoNotOptimize(found.constData());
    }
    state.counters["rows"] = double(rows);
    state.SetItemsProcessed(state.iterations() * state.range(1));
}

void formatsAndSizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"format", "rows"});
    for (int format = 0; format < int(std::size(formats)); ++format) {
        for (int rows : {1000, 10000})
            b->Args({format, rows});
    }
    // Wall time: XLS files are read in a child process, whose CPU time the parent's clock misses.
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(readStatement)->Apply(formatsAndSizes);
BENCHMARK(readAndParseStatement)->Apply(formatsAndSizes);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv, store);
}

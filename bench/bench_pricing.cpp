// The split search over the shipped default carat lines, and the desktop's parallel
// recalculation of a large table of rows.
#include "benchmain.h"
#include "common/testdata.h"
#include "config/config.h"
#include "records/row.h"

#include <QCoreApplication>
#include <QtConcurrent>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const QByteArray day = "2024-03-15";
const RateConfig rates{250000, 260000};

// One store on a private copy of the shipped data, shared by all benchmarks.
struct Store
{
    Store()
    {
        config = std::make_unique<Config>(false);
        QMutexLocker lock(&config->cacheMutex);
        config->rateCache.insert(day, {day, 0, rates.low, rates.high, 255000});
    }
    User *user() { return &config->localUser; }

    TestDataDir data;
    std::unique_ptr<Config> config;
};

Store *store = nullptr;

void calcAllLines(benchmark::State &state)
{
    const qint64 price = state.range(0) * 100;
    User *user = store->user();
    qint64 candidates = 0;
    for (auto _ : state) {
        CaratList list = Carat::calc(user, rates, price);
        candidates = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["candidates"] = double(candidates);
    state.counters["lines"] = double(user->carats.size());
}
BENCHMARK(calcAllLines)->ArgName("lira")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void recalcRowsOnThreadPool(benchmark::State &state)
{
    const int count = int(state.range(0));
    QList<Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append(Row(store->user(), day, "AYSE KAYA", 150000 + qint64(i) * 9973, 10000000146));
    for (auto _ : state) {
        state.PauseTiming();
        for (Row &row : rows)
            row.carats.clear();   // every row searches again, as after a rate or price change
        state.ResumeTiming();
        QtConcurrent::blockingMap(rows, [](Row &row) { row(); });
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(recalcRowsOnThreadPool)->ArgName("rows")->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv, store);
}

// A statistics server that lists 30,000 models with averages (more than any real one will): the
// main thread's work from the two replies to the Comparisons page's menu, step by step, each of
// which must stay well under the 100 ms a window may stall. A reply is at most 1 MiB: the
// replies are parsed as XML cut to that size, the slowest form to parse per byte.
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWComparisonsVC.h"
#include "Console.h"
#include "PropertyListParser.h"
#include "PropertyListWriter.h"
#include "ScratchHome.h"
#include "UrlConnection.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

constexpr qint64 kModels = 30'000;

QVariantList averagesRecords()
{
    QVariantList records;
    for (qint64 id = 1; id <= kModels; ++id) {
        records << QVariantMap{{QStringLiteral("pb_modelid"), id}, {QStringLiteral("status"), QStringLiteral("ok")}};
    }
    return records;
}

QVariantList modelRecords()
{
    QVariantList records;
    for (qint64 id = 1; id <= kModels; ++id)
        records << QVariantMap{{QStringLiteral("pb_modelid"), id},
                               {QStringLiteral("name"), QStringLiteral("L%1").arg(id)}};
    return records;
}

// The first records that fit in the client's reply limit.
QByteArray xmlReplyAtTheLimit(const QVariantList &records)
{
    qsizetype count = records.size();
    QByteArray reply;
    while ((reply = PropertyListWriter::xmlData(records.mid(0, count))).size() > UrlConnection::maximumReplyBytes)
        count = count * UrlConnection::maximumReplyBytes / reply.size() * 95 / 100;
    return reply;
}

void parseReply(benchmark::State &state, const QByteArray &reply)
{
    QVariant parsed;
    for (auto _ : state)
        benchmark::DoNotOptimize(parsed = PropertyListParser::parse(reply, nullptr));
    state.counters["reply_KiB"] = double(reply.size()) / 1024.0;
    state.counters["records"] = double(parsed.toList().size());
}

void BM_ParseAveragesReply(benchmark::State &state)
{
    parseReply(state, xmlReplyAtTheLimit(averagesRecords()));
}

void BM_ParseModelsReply(benchmark::State &state)
{
    parseReply(state, xmlReplyAtTheLimit(modelRecords()));
}

void BM_MergeModelsWithAverages(benchmark::State &state)
{
    const QVariantList averages = averagesRecords();
    const QVariantList models = modelRecords();
    CWAppDelegate delegate;
    for (auto _ : state) {
        delegate.gotBattData(averages);
        delegate.gotPBModels(models);
    }
    state.counters["models_kept"] = double(delegate.pbdb().size());
}

void BM_ComparisonsPageBuildsItsMenu(benchmark::State &state)
{
    CWAppDelegate delegate;
    delegate.gotBattData(averagesRecords());
    delegate.gotPBModels(modelRecords());
    CWComparisonsVC page(QStringLiteral("CWComparisonsVC"), *CWBatteryMonitor::sharedMonitor(),
                         [&delegate] { return delegate.pbdb(); });
    page.view()->show();
    for (auto _ : state)
        page.activate();
}

} // namespace

BENCHMARK(BM_ParseAveragesReply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseModelsReply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeModelsWithAverages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComparisonsPageBuildsItsMenu)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ScratchHome home;
    QApplication app(argc, argv);
    Console::setSink([](const QString &) {}); // the merge's lines are not what is measured
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

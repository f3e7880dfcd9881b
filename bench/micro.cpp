// In-process micro-benchmarks of the game's handlers and record files, on
// Qt's offscreen platform with a scripted outside world.

#include "fakeplatform.h"

#include <QApplication>
#include <QMenuBar>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace segni;
using namespace segni::testing;

namespace {

// A game shown with its client area at the given size, first question done.
std::unique_ptr<Game> shownGame(QSize client)
{
    auto game = std::make_unique<Game>();
    game->load();
    game->w().show();
    game->w().resize(client.width(), client.height() + game->w().menuBar()->sizeHint().height());
    QCoreApplication::processEvents();
    game->tavola->Form_Activate();
    return game;
}

void newQuestion(benchmark::State &state)
{
    auto game = shownGame(QSize(int(state.range(0)), int(state.range(1))));
    for (auto _ : state)
        game->tavola->cmdNext_Click();
    state.counters["width"] = game->w().surface->width();
    state.counters["height"] = game->w().surface->height();
}
BENCHMARK(newQuestion)->Args({792, 554})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

void answerCheck(benchmark::State &state)
{
    auto game = shownGame(QSize(792, 554));
    game->w().txtAnswer->setText(QStringLiteral("-24"));
    for (auto _ : state) {
        game->tavola->esatte = 0;
        game->tavola->errate = 0;
        game->w().cmdNext->setEnabled(false);
        int enter = 13;
        game->tavola->txtAnswer_KeyPress(enter);
    }
}
BENCHMARK(answerCheck)->Unit(benchmark::kMicrosecond);

void clockTick(benchmark::State &state)
{
    auto game = shownGame(QSize(792, 554));
    for (auto _ : state) {
        if (game->tavola->minuti < 2)
            game->tavola->minuti = 14;
        game->tavola->Timer1_Timer();
    }
}
BENCHMARK(clockTick)->Unit(benchmark::kMicrosecond);

// Each save beats the one before, so every one compares and writes.
void recordSave(benchmark::State &state)
{
    QTemporaryDir dir;
    int score = 0;
    for (auto _ : state) {
        const records::Saved saved = saveToFolder(dir.path(), QString::number(++score),
                                                  QStringLiteral("Anna"));
        if (!saved.saved())
            state.SkipWithError("a save was refused");
    }
}
BENCHMARK(recordSave)->Unit(benchmark::kMicrosecond);

// What a new question reads to follow the class's record.
void recordRefresh(benchmark::State &state)
{
    QTemporaryDir dir;
    saveToFolder(dir.path(), QStringLiteral("12"), QStringLiteral("Anna"));
    records::FolderStore store(records::withTrailingSeparator(dir.path()), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(finished(store.peek()));
}
BENCHMARK(recordRefresh)->Unit(benchmark::kMicrosecond);

void recordLoad(benchmark::State &state)
{
    QTemporaryDir dir;
    saveToFolder(dir.path(), QStringLiteral("12"), QStringLiteral("Anna"));
    records::FolderStore store(records::withTrailingSeparator(dir.path()), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(finished(store.load()));
}
BENCHMARK(recordLoad)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's notes about window hints would drown the table.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg)
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

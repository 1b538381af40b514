// The streamed run against the whole run, with its source arriving row by row.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "FastAdaptation.h"
#include "StreamedRun.h"
#include "TestImages.h"
#include "ThreadStarters.h"

namespace zelqor {
namespace {
using test_images::Noise;
using test_images::Uniform;

struct Observer : RunObserver {
    explicit Observer(bool c) : cancel(c) {}
    bool Poll(int, int) override { return cancel; }
    bool cancel;
};

// Rows not yet arrived hold a value no picture row has here, so a row read before its turn
// shows in the result.
TEST(StreamedRunTest, MatchesTheWholeRunWhileTheSourceArrives) {
    struct Row {
        int w, h, divisor;
        LevelSumPath path;
    } rows[] = {{120, 90, 40, LevelSumPath::Direct},
                {1000, 700, 20, LevelSumPath::FftTiles},  // two bands, the second shorter
                {300, 200, 1, LevelSumPath::Fft}};        // a radius beyond the image
    for (const Row& row : rows) {
        const WorkingBitmap full = Noise(row.w, row.h, 7);
        RunSettings settings;
        settings.divisor = row.divisor;
        ASSERT_EQ(FastAdaptation(full, CalcRadius(full, row.divisor), settings.params).Path(),
                  row.path);
        WorkingBitmap expected;
        Observer quiet(false);
        ProcessingRun().ProcessBitmap(expected, full, settings, quiet);
        for (const auto& failures : test_threads::StartFailureCases(1)) {
            WorkingBitmap src = Uniform(row.w, row.h, 0x00FF00FF);
            RowGate arrived, done;
            std::thread producer([&] {
                for (int y = 0; y < row.h; ++y) {
                    std::memcpy(src.Row(y), full.Row(y), static_cast<std::size_t>(row.w) * 4);
                    arrived.Publish(y + 1);
                    std::this_thread::sleep_for(std::chrono::microseconds(30));
                }
                arrived.Close();
            });
            test_threads::CountingStarter starter(failures.fails);
            WorkingBitmap dst;
            const RunOutcome outcome =
                RunStreamed(src, arrived, dst, done, settings, quiet, starter.Starter());
            producer.join();
            EXPECT_EQ(outcome.rowsClaimed, row.h) << failures.name;
            EXPECT_EQ(done.Published(), row.h) << failures.name;
            EXPECT_TRUE(dst == expected) << row.w << " x " << row.h << ", " << failures.name;
        }
    }
}

TEST(StreamedRunTest, ASourceThatEndsEarlyOrACancelStopsTheRunAndClosesBothGates) {
    for (const bool cancel : {false, true}) {
        const WorkingBitmap src = Noise(200, 100, 3);
        RowGate arrived, done;
        arrived.Publish(30);
        if (!cancel) {
            arrived.Close();
        }
        Observer observer(cancel);
        WorkingBitmap dst;
        const RunOutcome outcome = RunStreamed(src, arrived, dst, done, RunSettings{}, observer);
        EXPECT_EQ(outcome.cancelled, cancel);
        EXPECT_LT(outcome.rowsClaimed, 30);
        EXPECT_FALSE(arrived.Publish(100));
        EXPECT_FALSE(done.Publish(100));
    }
}

}  // namespace
}  // namespace zelqor

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
// shows in the result; in rings, so does a row read after its slot was taken by a later one.
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
            for (const bool ring : {false, true}) {
                WorkingBitmap src = Uniform(row.w, row.h, 0x00FF00FF);
                WorkingBitmap dst;
                if (ring) {
                    src.ResizeRing(row.w, row.h,
                                   PlanStreamedRun(row.w, row.h, settings).sourceRows);
                    dst.ResizeRing(row.w, row.h, 8);
                }
                RowGate arrived, done, released, taken;
                const auto copyRows = [](const WorkingBitmap& from, WorkingBitmap& to,
                                         RowGate& wait, int behind, RowGate& publish, bool pause) {
                    for (int y = 0; y < to.Height() && wait.WaitFor(y - behind) >= y - behind;
                         ++y) {
                        std::memcpy(to.Row(y), from.Row(y),
                                    static_cast<std::size_t>(to.Width()) * 4);
                        publish.Publish(y + 1);
                        if (pause) {
                            std::this_thread::sleep_for(std::chrono::microseconds(30));
                        }
                    }
                    publish.Close();
                };
                std::thread producer(copyRows, std::cref(full), std::ref(src), std::ref(released),
                                     src.RowsHeld() - 1, std::ref(arrived), !ring);
                WorkingBitmap out(row.w, row.h);
                std::thread consumer(copyRows, std::cref(dst), std::ref(out), std::ref(done), -1,
                                     std::ref(taken), false);
                test_threads::CountingStarter starter(failures.fails);
                const RunOutcome outcome = RunStreamed(src, arrived, dst, done, settings, quiet,
                                                       starter.Starter(), {&released, &taken});
                producer.join();
                consumer.join();
                EXPECT_EQ(outcome.rowsClaimed, row.h) << failures.name;
                EXPECT_TRUE(out == expected) << row.w << " x " << row.h << ", " << failures.name
                                             << (ring ? ", in rings" : "");
            }
        }
    }
}

TEST(StreamedRunTest, ASourceThatEndsEarlyOrACancelStopsTheRunAndClosesEveryGate) {
    for (const bool cancel : {false, true}) {
        const WorkingBitmap src = Noise(200, 100, 3);
        RowGate arrived, done, released, taken;
        arrived.Publish(30);
        if (!cancel) {
            arrived.Close();
        }
        Observer observer(cancel);
        WorkingBitmap dst;
        const RunOutcome outcome = RunStreamed(src, arrived, dst, done, RunSettings{}, observer,
                                               StartStdThread, {&released, &taken});
        EXPECT_EQ(outcome.cancelled, cancel);
        EXPECT_LT(outcome.rowsClaimed, 30);
        for (RowGate* gate : {&arrived, &done, &released, &taken}) {
            EXPECT_FALSE(gate->Publish(100));
        }
    }
}

// A maker of rows that waits for the run to let rows go, while the run waits for rows that would
// not fit, would wait for ever: such a ring is refused before anyone waits.
TEST(StreamedRunTest, ASourceRingTooSmallForTheRunIsRefused) {
    WorkingBitmap src, dst;
    src.ResizeRing(1000, 700, 10);
    RowGate arrived, done, released;
    Observer quiet(false);
    RunSettings settings;
    settings.divisor = 20;
    EXPECT_THROW(
        RunStreamed(src, arrived, dst, done, settings, quiet, StartStdThread, {&released, nullptr}),
        std::invalid_argument);
    EXPECT_FALSE(released.Publish(1));
}

}  // namespace
}  // namespace zelqor

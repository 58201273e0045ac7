// What a device that rests while nothing plays learns from its mixing core:
// whether anything plays, and a wake just before and just after a stopped
// buffer starts.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/mix_core.h"
#include "support/wav_builder.h"

namespace vocalith::device {
namespace {

enum class Step { Make, PlayOnce, PlayLoop, Stop, RenderPastEnd };

struct WakeRow {
    const char* name;
    std::vector<Step> steps;
    int wakes;  // two for each start
    bool quiet;
};

TEST(MixCoreRestTest, WakesOnEachStartAndTellsWhenQuiet) {
    const WakeRow rows[] = {
        {"nothing made", {}, 0, true},
        {"a buffer made, never played", {Step::Make}, 0, true},
        {"a buffer started", {Step::Make, Step::PlayLoop}, 2, false},
        {"played again while it plays", {Step::Make, Step::PlayLoop, Step::PlayLoop}, 2, false},
        {"stopped and started again",
         {Step::Make, Step::PlayLoop, Step::Stop, Step::PlayLoop},
         4,
         false},
        {"stopped", {Step::Make, Step::PlayLoop, Step::Stop}, 2, true},
        {"a once buffer played to its end",
         {Step::Make, Step::PlayOnce, Step::RenderPastEnd},
         2,
         true},
    };
    for (const WakeRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto core = MixCore::Create(11025, 1, 0.02);
        int wakes = 0;
        core->SetWakeHook([&wakes] { ++wakes; });
        std::unique_ptr<OutputBuffer> buffer;
        std::vector<int16_t> out(2000);
        for (Step step : row.steps) {
            switch (step) {
                case Step::Make:
                    buffer = core->CreateBuffer(test::Pcm(1, 11025, 16), 200);
                    ASSERT_TRUE(buffer);
                    break;
                case Step::PlayOnce:
                case Step::PlayLoop:
                    buffer->Play(step == Step::PlayLoop);
                    break;
                case Step::Stop:
                    buffer->Stop();
                    break;
                case Step::RenderPastEnd:
                    core->Render(out.data(), static_cast<uint32_t>(out.size()));
                    break;
            }
        }
        EXPECT_EQ(wakes, row.wakes);
        EXPECT_EQ(core->Quiet(), row.quiet);
    }
}

}  // namespace
}  // namespace vocalith::device

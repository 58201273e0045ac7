// The pump timer runs every 10 ms while the pump has work (or a recording
// runs) and every 100 ms while it has none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_fixture.h"

namespace vocalith::app::testing {
namespace {

struct Tick {
    bool busy;
    bool recording;
};

struct TimerRow {
    const char* name;
    std::vector<Tick> ticks;
    std::vector<std::string> timers;  // the timer settings made, in order
};

TEST_F(MainDialogTest, PumpTimerFollowsThePumpsWork) {
    const TimerRow rows[] = {
        {"busy keeps the 10 ms period", {{true, false}, {true, false}}, {}},
        {"idle slows it, once", {{false, false}, {false, false}}, {"settimer:2:100"}},
        {"work again speeds it up",
         {{false, false}, {true, false}},
         {"settimer:2:100", "settimer:2:10"}},
        {"a recording keeps it fast", {{false, true}}, {}},
    };
    Start();
    for (const TimerRow& row : rows) {
        SCOPED_TRACE(row.name);
        // Back to the period the dialog starts with.
        audio_->busy = true;
        Buffer().recording = 0;
        dialog_->OnTimer(2);
        log_.clear();
        for (const Tick& tick : row.ticks) {
            audio_->busy = tick.busy;
            Buffer().recording = tick.recording ? 1 : 0;
            dialog_->OnTimer(2);
        }
        Buffer().recording = 0;
        std::vector<std::string> timers;
        for (const std::string& entry : log_) {
            if (entry.rfind("settimer:", 0) == 0) timers.push_back(entry);
        }
        EXPECT_EQ(timers, row.timers);
    }
}

}  // namespace
}  // namespace vocalith::app::testing

// The pump timer runs every 10 ms while the pump has work or a recording
// runs, and every 100 ms otherwise.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialog_fixture.h"

namespace vocalith::app::testing {
namespace {

TEST_F(MainDialogTest, PumpTimerFollowsThePumpsWork) {
    struct Row {
        const char* name;
        std::vector<std::pair<bool, int>> ticks;  // the pump busy, a recording running
        std::vector<std::string> timers;          // the timer settings made, in order
    };
    const Row rows[] = {
        {"busy keeps 10 ms", {{true, 0}, {true, 0}}, {}},
        {"idle slows it, once", {{false, 0}, {false, 0}}, {"settimer:2:100"}},
        {"work speeds it up", {{false, 0}, {true, 0}}, {"settimer:2:100", "settimer:2:10"}},
        {"a recording keeps it fast", {{false, 1}}, {}},
    };
    Start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        audio_->busy = true;  // back to the starting period
        dialog_->OnTimer(2);
        log_.clear();
        for (const auto& [busy, recording] : row.ticks) {
            audio_->busy = busy;
            Buffer().recording = recording;
            dialog_->OnTimer(2);
        }
        Buffer().recording = 0;
        std::vector<std::string> timers;
        for (const std::string& entry : log_)
            if (entry.rfind("settimer:", 0) == 0) timers.push_back(entry);
        EXPECT_EQ(timers, row.timers);
    }
}

}  // namespace
}  // namespace vocalith::app::testing

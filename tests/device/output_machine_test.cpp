// The output stream's rest/wake/stall decisions on a fake clock, with a
// scripted stream: each row is what a user's sound server did, step by step.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device/output_machine.h"

namespace vocalith::device {
namespace {

using Phase = OutputMachine::Phase;

// What the scripted sound server does; the machine's ops read it.
struct Server {
    int64_t now = 0;
    bool quiet = true;
    bool active = true;
    bool refuses = false;  // opens fail
    int opened = 0;
    int started = 0;  // prepared streams started
    int closed = 0;
    std::vector<std::function<void()>> jobs;  // spawned, run when the row says
};

class ScriptedOps final : public OutputMachine::StreamOps {
  public:
    explicit ScriptedOps(Server& s) : s_(s) {}
    int64_t NowMs() override { return s_.now; }
    OutputMachine::Stream Open() override {
        if (s_.refuses) return nullptr;
        return reinterpret_cast<OutputMachine::Stream>(static_cast<intptr_t>(++s_.opened));
    }
    bool Start(OutputMachine::Stream) override {
        ++s_.started;
        return true;
    }
    void Close(OutputMachine::Stream) override { ++s_.closed; }
    bool Active(OutputMachine::Stream) override { return s_.active; }
    bool Quiet() override { return s_.quiet; }
    void Spawn(std::function<void()> job) override { s_.jobs.push_back(std::move(job)); }

  private:
    Server& s_;
};

enum class Act {
    Play,     // a period with a buffer playing
    Silence,  // a period with nothing playing
    None,     // time passes with no callback
    Wake,     // a buffer starts to play
    RunJobs,  // the wake's job gets to run
    Gone,     // the sound library reports the stream stopped
    Refuse,   // the server refuses new streams
    Close,    // the device is destroyed
};

struct MachineStep {
    int64_t at;
    Act act;
    Phase phase;
    const char* lost;  // a part of Check's report; "" for none
    int closed = -1;   // streams closed so far; -1: not checked
};

struct MachineRow {
    const char* name;
    std::vector<MachineStep> steps;
    bool prepared = false;  // the first stream is opened, not started
    int started = 0;        // prepared streams started by the end
};

TEST(OutputMachineTest, RestWakeStallAndLossOnAFakeClock) {
    const char* stalled = "stopped taking data";
    const char* stopped = "the sound output stopped (the sound server or device went away)";
    const MachineRow rows[] = {
        {"rest after 500 ms of silence; a resting stream is never lost",
         {{100, Act::Play, Phase::Running, ""},
          {200, Act::Silence, Phase::Running, ""},
          {699, Act::Silence, Phase::Running, ""},
          {700, Act::Silence, Phase::Resting, ""},
          {60000, Act::None, Phase::Resting, ""}}},
        {"a sound in the silence starts the 500 ms again",
         {{200, Act::Silence, Phase::Running, ""},
          {600, Act::Play, Phase::Running, ""},
          {700, Act::Silence, Phase::Running, ""},
          {1199, Act::Silence, Phase::Running, ""},
          {1200, Act::Silence, Phase::Resting, ""}}},
        {"wake: the ended stream is closed and a fresh one runs",
         {{100, Act::Silence, Phase::Running, ""},
          {600, Act::Silence, Phase::Resting, ""},
          {9000, Act::Wake, Phase::Waking, "", 0},
          {9010, Act::Wake, Phase::Waking, "", 0},
          {9050, Act::RunJobs, Phase::Running, "", 1},
          {9100, Act::Play, Phase::Running, ""},
          {9140, Act::Silence, Phase::Running, ""}}},
        {"stall: no callback for 1.5 s after the start-up grace",
         {{100, Act::Play, Phase::Running, ""},
          {2900, Act::None, Phase::Running, ""},
          {3100, Act::None, Phase::Running, "(for 3000 ms;"}}},
        {"back: a server's burst of 1.4 s is not a loss",
         {{3500, Act::Play, Phase::Running, ""},
          {4900, Act::None, Phase::Running, ""},
          {4950, Act::Play, Phase::Running, ""},
          {6400, Act::None, Phase::Running, ""},
          {6460, Act::None, Phase::Running, stalled}}},
        {"lost: the library reports the stream stopped; lost stays lost",
         {{100, Act::Play, Phase::Running, ""},
          {200, Act::Gone, Phase::Running, stopped},
          {300, Act::Play, Phase::Running, stopped}}},
        {"a wake the server refuses",
         {{100, Act::Silence, Phase::Running, ""},
          {600, Act::Silence, Phase::Resting, ""},
          {5000, Act::Refuse, Phase::Resting, ""},
          {5100, Act::Wake, Phase::Waking, ""},
          {5150, Act::RunJobs, Phase::Failed, stopped, 1}}},
        {"late server: a wake that opens after the device is gone closes its stream",
         {{100, Act::Silence, Phase::Running, ""},
          {600, Act::Silence, Phase::Resting, ""},
          {5000, Act::Wake, Phase::Waking, ""},
          {5100, Act::Close, Phase::Closed, "", 0},
          {9000, Act::RunJobs, Phase::Closed, "", 2}}},
        {"frozen server: a wake that never opens is lost after 1.5 s",
         {{100, Act::Silence, Phase::Running, ""},
          {600, Act::Silence, Phase::Resting, ""},
          {5000, Act::Wake, Phase::Waking, ""},
          {6500, Act::None, Phase::Waking, ""},
          {6501, Act::None, Phase::Waking, "(for 1501 ms;"},
          {6600, Act::Close, Phase::Closed, "(for 1501 ms;", 0}}},
        {"prepared: rests until the first wake starts it as it is, nothing closed",
         {{100, Act::None, Phase::Resting, ""},
          {9000, Act::Wake, Phase::Waking, ""},
          {9005, Act::RunJobs, Phase::Running, "", 0},
          {9050, Act::Play, Phase::Running, ""}},
         true,
         1},
        {"prepared: its start-up grace counts from the first start, not from the open",
         {{10000, Act::Wake, Phase::Waking, ""},
          {10005, Act::RunJobs, Phase::Running, ""},
          {12000, Act::None, Phase::Running, ""},
          {13100, Act::None, Phase::Running, "(for 3095 ms;"}},
         true,
         1},
    };
    for (const MachineRow& row : rows) {
        SCOPED_TRACE(row.name);
        Server server;
        OutputMachine machine(std::make_unique<ScriptedOps>(server));
        if (row.prepared) {
            machine.Prepared(machine.Ops().Open());
        } else {
            machine.Started(machine.Ops().Open());
        }
        auto keep = std::make_shared<int>(0);
        for (const MachineStep& step : row.steps) {
            SCOPED_TRACE(step.at);
            server.now = step.at;
            switch (step.act) {
                case Act::Play:
                case Act::Silence:
                    server.quiet = step.act == Act::Silence;
                    machine.OnPeriod();
                    break;
                case Act::None:
                    break;
                case Act::Wake:
                    machine.Wake(keep);
                    break;
                case Act::RunJobs: {
                    auto jobs = std::move(server.jobs);
                    for (auto& job : jobs) job();
                    break;
                }
                case Act::Gone:
                    server.active = false;
                    break;
                case Act::Refuse:
                    server.refuses = true;
                    break;
                case Act::Close:
                    if (auto stream = machine.Close()) machine.Ops().Close(stream);
                    break;
            }
            EXPECT_EQ(machine.CurrentPhase(), step.phase);
            const std::string lost = machine.Check();
            if (*step.lost == '\0') {
                EXPECT_EQ(lost, "");
            } else {
                EXPECT_NE(lost.find(step.lost), std::string::npos) << lost;
            }
            if (step.closed >= 0) {
                EXPECT_EQ(server.closed, step.closed);
            }
        }
        EXPECT_LE(server.jobs.size(), 1u) << "more than one wake job at once";
        EXPECT_EQ(server.started, row.started);
    }
}

}  // namespace
}  // namespace vocalith::device

// Files replaced whole: what an interrupted write leaves behind, and which
// leftovers a later write clears away.
#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace vocalith::base {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFileTest, OnlyOurOldLeftoversAreRemovedAtTheNextWrite) {
    const testsupport::TempFolder folder("vocalith-stale");
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(25);
    const struct {
        const char* name;
        bool old;
        bool removed;
    } rows[] = {
        {".out.wav.vocalith-Ab3xZ9", true, true},
        {".out.wav.vocalith-Ab3xZ8", false, false},  // perhaps still being written
        {"Mine.voc.q1W2e3", true, true},             // an earlier version's voice temp file
        {".out.wav.q1W2e3", true, true},             // an earlier version's WAV temp file
        {"out.wav.q1W2e3", true, false},             // not hidden: a user's file
        {".bashrc.backup", true, false},
        {".out.wav.vocalith-Ab3", true, false},
        {"Mine.voc", true, false},
    };
    for (const auto& row : rows) {
        std::ofstream(folder / row.name) << "x";
        if (row.old) fs::last_write_time(folder / row.name, old);
    }
    AtomicFile file;
    ASSERT_TRUE(file.Create(folder / "new.wav", "new.wav"));
    file.Abandon();
    for (const auto& row : rows) {
        EXPECT_EQ(fs::exists(folder / row.name), !row.removed) << row.name;
    }
}

// Each signal ends a writer half way; its temporary file goes with it, the
// old file stays, and the exit status is the signal's own. (An unnamed
// temporary file never outlives its writer: this is the named one.)
TEST(AtomicFileTest, ASignalRemovesTheFileBeingWritten) {
    const struct {
        const char* name;
        int sig;
        bool ignored;  // as nohup leaves SIGHUP
    } rows[] = {
        {"SIGINT", SIGINT, false},   {"SIGTERM", SIGTERM, false},
        {"SIGHUP", SIGHUP, false},   {"SIGHUP under nohup", SIGHUP, true},
        {"SIGQUIT", SIGQUIT, false}, {"SIGUSR1", SIGUSR1, false},
        {"SIGALRM", SIGALRM, false}, {"SIGPIPE", SIGPIPE, false},
    };
    for (const auto& row : rows) {
        const testsupport::TempFolder folder("vocalith-signal");
        const fs::path target = folder / "out.wav";
        std::ofstream(target) << "old";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0};  // SIGQUIT would dump one
            ::setrlimit(RLIMIT_CORE, &noCore);
            if (row.ignored) std::signal(row.sig, SIG_IGN);
            RemoveTempFilesOnSignals();
            AllowUnnamedTempFiles(false);
            AtomicFile file;
            if (!file.Create(target, "out.wav")) ::_exit(3);
            if (::write(file.Fd(), "new", 3) != 3) ::_exit(4);
            ::raise(row.sig);
            ::_exit(file.Commit() ? 0 : 5);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (row.ignored) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.name;
            EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"out.wav"}) << row.name;
            continue;
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.sig) << row.name;
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"out.wav"}) << row.name;
        std::ifstream in(target);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old") << row.name;
    }
}

}  // namespace
}  // namespace vocalith::base

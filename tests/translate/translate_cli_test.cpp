// vocalith-tts translate: options, input sources and exact output bytes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_common.h"

namespace vocalith::cli {

// The command's logic with its streams passed in (translate_command.cpp).
int RunTranslateOn(int argc, char** argv, std::FILE* in, std::FILE* out);

namespace {

struct CommandResult {
    int status;
    std::string out;
    std::string err;
};

std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) s.append(chunk, n);
    return s;
}

CommandResult RunWith(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "translate");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    ::testing::internal::CaptureStderr();
    const int status = RunTranslateOn(static_cast<int>(args.size()), argv.data(), in, out);
    CommandResult run{status, ReadAll(out), ::testing::internal::GetCapturedStderr()};
    std::fclose(in);
    std::fclose(out);
    return run;
}

bool IsOneErrorLine(const std::string& err) {
    return err.rfind("vocalith-tts: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

TEST(TranslateCommand, WritesExactlyThePhoneticString) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        std::string expected;
    } rows[] = {
        {"arguments, nothing added", {"Hello,", "world."}, "", "hEHlOW kAAmmAX wERld pIYrIYAAd "},
        {"arguments joined by one blank", {"well", "-", "known"}, "", "wEHl mIHnAHs nOWn "},
        {"standard input when no TEXT", {}, "Hello, world.", "hEHlOW kAAmmAX wERld pIYrIYAAd "},
        {"newlines of the input kept", {}, "A\nB\n", "EY \nbIY \n"},
        {"a NUL on standard input ends the text", {}, std::string("a\0b", 3), "EY "},
        {"capacity cuts the whole text", {"--capacity", "5", "Hello"}, "", "hEH"},
        {"capacity in = form", {"--capacity=3", "Hello"}, "", "h"},
        {"negative capacity writes nothing", {"--capacity", "-7", "Hello"}, "", ""},
        {"huge capacity needs no huge buffer", {"--capacity", "2147483647", "a"}, "", "EY "},
        {"lines each end with a newline", {"--lines"}, "A\nB", "EY \nbIY \n"},
        {"lines: final newline makes no extra line", {"--lines"}, "A\n\nB\n", "EY \n\nbIY \n"},
        {"lines: empty input gives nothing", {"--lines"}, "", ""},
        {"lines with a capacity per line", {"--lines", "--capacity", "3"}, "Hello\nab", "h\nA\n"},
        {"-- ends options", {"--", "--lines"}, "", "mIHnAHs mIHnAHs lAYnz "},
        {"lone hyphen is text", {"-"}, "", "mIHnAHs "},
    };
    for (const auto& row : rows) {
        const CommandResult run = RunWith(row.args, row.input);
        EXPECT_EQ(run.status, EXIT_OK) << row.name;
        EXPECT_EQ(run.out, row.expected) << row.name;
        EXPECT_EQ(run.err, "") << row.name;
    }
}

TEST(TranslateCommand, UsageErrorsAreOneLineAndExitTwo) {
    const struct {
        const char* name;
        std::vector<std::string> args;
    } rows[] = {
        {"unknown option", {"--bogus", "x"}},
        {"capacity without value", {"--capacity"}},
        {"capacity not a number", {"--capacity", "12x", "a"}},
        {"capacity empty", {"--capacity=", "a"}},
        {"capacity beyond 32 bits", {"--capacity", "2147483648", "a"}},
        {"capacity far beyond 32 bits", {"--capacity", "99999999999999999999999", "a"}},
    };
    for (const auto& row : rows) {
        const CommandResult run = RunWith(row.args);
        EXPECT_EQ(run.status, EXIT_USAGE) << row.name;
        EXPECT_EQ(run.out, "") << row.name;
        EXPECT_TRUE(IsOneErrorLine(run.err)) << row.name << ": " << run.err;
    }
}

TEST(TranslateCommand, HelpGoesToStandardOutput) {
    const CommandResult run = RunWith({"--help"});
    EXPECT_EQ(run.status, EXIT_OK);
    EXPECT_NE(run.out.find("usage: vocalith-tts translate"), std::string::npos);
}

// The built program itself, when it is there.
TEST(TranslateCommand, BuiltProgram) {
    const std::string program = VOCALITH_BIN_DIR "/vocalith-tts";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is not built";
    std::FILE* p = popen((program + " translate 'Hello, world.'").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), 0);
    EXPECT_EQ(out, "hEHlOW kAAmmAX wERld pIYrIYAAd ");

    p = popen((program + " translate --bogus 2>&1 >/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string err;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) err.append(chunk, n);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), 2);
    EXPECT_TRUE(IsOneErrorLine(err)) << err;
}

}  // namespace
}  // namespace vocalith::cli

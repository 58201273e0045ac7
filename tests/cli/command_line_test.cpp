// The subcommands' shared option parser: each argument line read in order
// into operands, options with their values and the first problem.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace vocalith::cli {
namespace {

constexpr CommandOption kOptions[] = {{"--size", true}, {"--flag", false}};

// Each argument as "kind:option:text", the parse read to its end.
std::vector<std::string> Parse(std::vector<std::string> words) {
    words.insert(words.begin(), "cmd");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    OptionParser parser(static_cast<int>(argv.size()), argv.data(), kOptions);
    const char* kinds[] = {"operand", "option", "help", "unknown", "missing"};
    std::vector<std::string> seen;
    for (ParsedArg arg; parser.Next(arg);) {
        seen.push_back(std::string(kinds[static_cast<int>(arg.kind)]) + ":" +
                       std::to_string(arg.option) + ":" + std::string(arg.text));
    }
    return seen;
}

TEST(OptionParser, ReadsEachArgumentInOrder) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> expected;
    } rows[] = {
        {"value as the next argument", {"--size", "5", "a"}, {"option:0:5", "operand:-1:a"}},
        {"value after =, split at the first =", {"--size=5=6"}, {"option:0:5=6"}},
        {"empty value after =", {"--size="}, {"option:0:"}},
        {"next argument taken even with a hyphen", {"--size", "-1"}, {"option:0:-1"}},
        {"flag", {"--flag", "b"}, {"option:1:", "operand:-1:b"}},
        {"-- ends options and is not reported",
         {"--", "--flag", "-h"},
         {"operand:-1:--flag", "operand:-1:-h"}},
        {"lone hyphen is an operand", {"-"}, {"operand:-1:-"}},
        {"help in both spellings", {"--help", "-h"}, {"help:-1:", "help:-1:"}},
        {"missing value names the option", {"a", "--size"}, {"operand:-1:a", "missing:0:--size"}},
        {"unknown option keeps the whole argument",
         {"--bogus=1", "-x"},
         {"unknown:-1:--bogus=1", "unknown:-1:-x"}},
        {"a flag given a value is unknown", {"--flag=1"}, {"unknown:-1:--flag=1"}},
        {"a prefix of an option is unknown",
         {"--si", "--sizes=1"},
         {"unknown:-1:--si", "unknown:-1:--sizes=1"}},
        {"help with a value is unknown", {"--help=x"}, {"unknown:-1:--help=x"}},
    };
    for (const auto& row : rows) EXPECT_EQ(Parse(row.args), row.expected) << row.name;
}

// --rate, --pitch and --volume take plain decimal numbers only, and each
// the same way: what one refuses (a blank, hexadecimal, two signs) the
// other refuses too.
TEST(NumberOptions, OnlyPlainDecimalIsTaken) {
    const struct {
        const char* text;
        bool level;     // ParseLevel(-100..100) takes it
        bool decibels;  // ParseDecibels(up to 20) takes it
        double value;
    } rows[] = {
        {"5", true, true, 5},       {"+5", true, true, 5},
        {"-100", true, true, -100}, {"2.5", false, true, 2.5},
        {".5", false, true, 0.5},   {"-0.5", false, true, -0.5},
        {" 5", false, false, 0},    {"5 ", false, false, 0},
        {"0x10", false, false, 0},  {"+-5", false, false, 0},
        {"-+5", false, false, 0},   {"1e1", false, false, 0},
        {"inf", false, false, 0},   {"nan", false, false, 0},
        {"", false, false, 0},      {"+", false, false, 0},
        {"-", false, false, 0},     {"101", false, false, 0},
        {"20.5", false, false, 0},  {"99999999999", false, false, 0},
    };
    for (const auto& row : rows) {
        int32_t level = 7;
        EXPECT_EQ(ParseLevel(row.text, -100, 100, level), row.level) << "'" << row.text << "'";
        EXPECT_EQ(level, row.level ? row.value : 7) << "'" << row.text << "'";
        double db = 7;
        EXPECT_EQ(ParseDecibels(row.text, 20, db), row.decibels) << "'" << row.text << "'";
        EXPECT_EQ(db, row.decibels ? row.value : 7) << "'" << row.text << "'";
    }
}

TEST(UsageLines, ContinuationLinesStandUnderTheFirstArgument) {
    EXPECT_EQ(UsageLines("say", "[--a]\n[--b]", true),
              "usage: vocalith-tts say [--a]\n                        [--b]\n");
    EXPECT_EQ(UsageLines("tr", "[X]", false), "       vocalith-tts tr [X]\n");
}

}  // namespace
}  // namespace vocalith::cli

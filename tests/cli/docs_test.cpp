// The bash completion and the manual pages list the subcommands, their
// options and the audio backends by hand; these tests hold them to the tables
// the program runs on, so a row added to a table (or dropped from it) and not
// to the documents fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/cli_common.h"
#include "device/audio_device.h"
#include "voice/clip_wav.h"
#include "voice/phoneme_inventory.h"

namespace vocalith::cli {
namespace {

using Words = std::set<std::string>;

std::string ReadDist(const char* name) {
    std::ifstream in(std::string(VOCALITH_DIST_DIR) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every match of `pattern`'s first group (or the whole match) in `text`.
Words Matches(const std::string& text, const std::string& pattern) {
    Words found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
        found.insert((*it)[it->size() > 1 ? 1 : 0].str());
    }
    return found;
}

// The first group of the first match of `pattern`; empty when none.
std::string First(const std::string& text, const std::string& pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string();
}

Words Split(const std::string& text) {
    return Matches(text, R"([^\s|\\]+)");
}

Words LongOptions(const std::string& text) {
    return Matches(text, R"((--[a-z][a-z-]*))");
}

// The text from `start` up to the first `end` after it; empty when `start`
// is missing.
std::string Between(const std::string& text, const std::string& start, const std::string& end) {
    const size_t from = text.find(start);
    if (from == std::string::npos) return {};
    return text.substr(from, text.find(end, from + start.size()) - from);
}

// A completion branch "    NAME)" up to its ";;".
std::string Branch(const std::string& script, const std::string& label) {
    return Between(script, "\n        " + label + ")", "\n            ;;");
}

// A manual page with groff's "\-" read as "-".
std::string ManPage(const char* name) {
    return std::regex_replace(ReadDist(name), std::regex(R"(\\-)"), "-");
}

std::string ManSection(const std::string& page, const std::string& title) {
    return Between(page, "\n.SS " + title + "\n", "\n.S");
}

// Every synopsis line of a subcommand (voice has one per action).
std::string ManSynopsis(const std::string& page, const std::string& name) {
    const std::string synopsis = Between(page, ".SH SYNOPSIS", ".SH DESCRIPTION");
    const std::string start = "\n.B vocalith-tts " + name;
    std::string lines;
    for (size_t at = synopsis.find(start); at != std::string::npos;
         at = synopsis.find(start, at + 1)) {
        lines += synopsis.substr(at, synopsis.find("\n.br", at) - at);
    }
    return lines;
}

struct Row {
    std::string what;
    Words listed;
    Words want;
};

// Each row's listed words are the table's (gtest prints both sets).
void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) EXPECT_EQ(r.listed, r.want) << r.what;
}

Words SubcommandNames() {
    Words names;
    for (const Subcommand* c : Subcommands()) names.emplace(c->name);
    return names;
}

Words OptionsOf(const Subcommand& c, bool withHelp) {
    Words options;
    for (const CommandOption& o : c.options) options.emplace(o.name);
    if (withHelp) options.insert("--help");
    return options;
}

TEST(Completion, ListsWhatTheTablesHold) {
    const std::string script = ReadDist("vocalith-tts.bash-completion");
    Words valued;
    for (const Subcommand* c : Subcommands()) {
        for (const CommandOption& o : c->options) {
            if (o.takesValue) valued.emplace(o.name);
        }
    }
    Words backends;
    for (const device::BackendEntry& b : device::AudioBackends()) {
        backends.insert(std::string(b.name) + (b.takesArgument ? ":" : ""));
    }
    Words phonemes;
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) phonemes.insert(voice::ClipName(code));
    Words topLevel = SubcommandNames();
    topLevel.insert({"--help", "--version"});

    std::vector<Row> rows = {
        {"the subcommands found before the cursor",
         Split(First(script, R"(case \$\{words\[i\]\} in\s+([a-z |]+)\))")), SubcommandNames()},
        {"the words offered first", Split(First(Branch(script, "*"), R"re(-W "([^"]*)")re")),
         topLevel},
        {"the options whose value comes next",
         LongOptions(Between(script, "case $prev in", "\n    esac")), valued},
        {"the backends of --audio", Split(First(Branch(script, "--audio"), R"re(-W "([^"]*)")re")),
         backends},
        {"the phonemes of voice set",
         Split(First(Branch(script, "voice"), R"re(-W "(IY[^"]*)")re")), phonemes},
    };
    for (const Subcommand* c : Subcommands()) {
        rows.push_back({"the options of " + std::string(c->name),
                        LongOptions(Branch(script, std::string(c->name))), OptionsOf(*c, true)});
    }
    ExpectRows(rows);
}

TEST(ManualPages, DescribeWhatTheTablesHold) {
    const std::string tts = ManPage("vocalith-tts.1.in");
    const std::string window = ManPage("vocalith.1.in");
    Words backends;
    for (const device::BackendEntry& b : device::AudioBackends()) backends.emplace(b.name);
    // A backend is named in bold where --audio is described: ".B null", ".BI wav: OUT.wav".
    const std::string backendName = R"(\n\.BI? ([a-z]+)[:\s])";

    std::vector<Row> rows = {
        {"the subcommands of the synopsis",
         Matches(Between(tts, ".SH SYNOPSIS", ".SH DESCRIPTION"), R"(\.B vocalith-tts ([a-z]+))"),
         SubcommandNames()},
        {"the subcommands described",
         Matches(Between(tts, ".SH DESCRIPTION", ".SH FILES"), R"(\n\.SS ([a-z]+)\n)"),
         SubcommandNames()},
        {"the backends of vocalith-tts --audio",
         Matches(Between(tts, ".BI --audio \" BACKEND\"", ".TP"), backendName), backends},
        {"the backends of vocalith --audio",
         Matches(Between(window, ".BI --audio \" BACKEND\"", ".TP"), backendName), backends},
    };
    for (const Subcommand* c : Subcommands()) {
        const std::string name(c->name);
        // The synopsis shows what the command's own usage shows (an alias
        // such as say --wav is described, not repeated there).
        rows.push_back({"the options of " + name + " in the synopsis",
                        LongOptions(ManSynopsis(tts, name)), LongOptions(c->synopsis)});
        Words described = LongOptions(ManSection(tts, name));
        described.erase("--help");  // not described under every subcommand
        rows.push_back({"the options of " + name + " described", described, OptionsOf(*c, false)});
    }
    ExpectRows(rows);
}

}  // namespace
}  // namespace vocalith::cli

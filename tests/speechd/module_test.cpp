// The module's parts without a server: the protocol's framing, the SSML
// reader, the text the rules are given, the AUDIO event, and a session's
// answers and events for a sequence of requests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "speechd/audio_event.h"
#include "speechd/module_input.h"
#include "speechd/module_protocol.h"
#include "speechd/module_session.h"
#include "speechd/speech_text.h"
#include "speechd/ssml_text.h"
#include "support/temp_folder.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"

namespace vocalith::speechd {
namespace {

// A request as one line: "SET rate=20;pitch=1;" or "SPEAK <speak>a</speak>".
std::string Describe(const Request& r) {
    static const char* const kNames[] = {"INIT",        "AUDIO", "LOGLEVEL",   "SET",    "SPEAK",
                                         "CHAR",        "KEY",   "SOUND_ICON", "STOP",   "PAUSE",
                                         "LIST VOICES", "DEBUG", "QUIT",       "UNKNOWN"};
    std::string out = kNames[static_cast<int>(r.command)];
    if (!r.text.empty()) out += " " + r.text;
    if (!r.settings.empty()) out += " ";
    for (const auto& [name, value] : r.settings) out += name + "=" + value + ";";
    return out;
}

TEST(ModuleProtocol, FramesRequestsAndAnswersTheOpeningOfBlocks) {
    struct Row {
        const char* name;
        std::string bytes;
        std::string replies;
        std::vector<std::string> requests;
    };
    const Row rows[] = {
        {"single commands",
         "INIT\nLIST VOICES\nSTOP\nQUIT\n",
         "",
         {"INIT", "LIST VOICES", "STOP", "QUIT"}},
        {"settings block",
         "SET\nrate=20\nno equals sign\nvoice=male1\n.\n",
         "203 OK RECEIVING SETTINGS\n",
         {"SET rate=20;voice=male1;"}},
        {"audio and log level",
         "AUDIO\naudio_output_method=server\n.\nLOGLEVEL\nlog_level=3\n.\n",
         "207 OK RECEIVING AUDIO SETTINGS\n207 OK RECEIVING LOGLEVEL SETTINGS\n",
         {"AUDIO audio_output_method=server;", "LOGLEVEL log_level=3;"}},
        {"message lines joined, doubled dot undone",
         "SPEAK\n<speak>a\n..\n\nb</speak>\n.\n",
         "202 OK RECEIVING MESSAGE\n",
         {"SPEAK <speak>a\n.\n\nb</speak>"}},
        {"a command word inside a message is text",
         "CHAR\nSTOP\n.\n",
         "202 OK RECEIVING MESSAGE\n",
         {"CHAR STOP"}},
        {"CR before LF dropped",
         "KEY\r\nshift_a\r\n.\r\n",
         "202 OK RECEIVING MESSAGE\n",
         {"KEY shift_a"}},
        {"unknown and debug", "HELLO\nDEBUG ON /tmp/x\n", "", {"UNKNOWN HELLO", "DEBUG ON /tmp/x"}},
        {"a line split between reads waits for its end", "QU", "", {}},
    };
    for (const Row& r : rows) {
        LineSplitter lines;
        ModuleProtocol protocol;
        std::string replies;
        std::vector<std::string> requests;
        // Byte by byte: no line may depend on arriving in one read.
        for (char c : r.bytes) {
            lines.Append({&c, 1});
            for (std::string line; lines.Next(line);) {
                Request request;
                if (protocol.Line(line, replies, request)) requests.push_back(Describe(request));
            }
        }
        EXPECT_EQ(replies, r.replies) << r.name;
        EXPECT_EQ(requests, r.requests) << r.name;
    }
}

TEST(ModuleProtocol, KeepsASettingsBlockWithinItsLimits) {
    struct Row {
        const char* name;
        size_t lines;
        size_t lineBytes;
        size_t kept;
    };
    const Row rows[] = {
        {"the server's few settings", 30, 10, 30},
        {"a runaway block keeps its first lines", 200000, 8, SETTINGS_LIMIT},
        {"long lines stop at the byte limit", 20, MESSAGE_LIMIT / 4, 4},
    };
    for (const Row& r : rows) {
        ModuleProtocol protocol;
        std::string reply;
        Request request;
        protocol.Line("SET", reply, request);
        const std::string line = "a=" + std::string(r.lineBytes - 2, 'x');
        for (size_t i = 0; i < r.lines; ++i) protocol.Line(line, reply, request);
        ASSERT_TRUE(protocol.Line(".", reply, request)) << r.name;
        EXPECT_EQ(request.settings.size(), r.kept) << r.name;
    }
}

TEST(SsmlText, SpeaksTheTextNeverTheMarkup) {
    struct Row {
        const char* name;
        const char* ssml;
        const char* text;
        std::vector<std::string> marks;  // "name@offset"
    };
    const Row rows[] = {
        {"marks at their places",
         "<speak>One <mark name=\"m1\"/>two<mark name='m2' /></speak>",
         "One two",
         {"m1@4", "m2@7"}},
        {"entities decoded",
         "<speak>a &lt;b&gt; &amp; &quot;&apos; &#65;&#x42; &bogus; &</speak>",
         "a <b> & \"' AB &bogus; &",
         {}},
        {"sentences and breaks stay apart",
         "<speak><s>one</s><s>two</s>x<break time='1s'/>y</speak>",
         " one  two x y",
         {}},
        {"comments, processing and unknown tags dropped",
         "<?xml version='1.0'?><speak><!-- no --><prosody rate='x'>hi</prosody></speak>",
         "hi",
         {}},
        {"CDATA is text", "<speak><![CDATA[a<b]]></speak>", "a<b", {}},
        {"plain text reads as itself", "Hello, world.", "Hello, world.", {}},
        {"an open tag at the end is dropped", "ok <mark name=\"x\"", "ok ", {}},
        {"a mark's name decoded", "<mark name=\"a&amp;b\"/>", "", {"a&b@0"}},
        {"a closing mark tag is no mark", "a</mark>b", "ab", {}},
        {"a '>' inside a quoted value is part of it",
         "<mark name=\"x>y\"/>z<mark name='p>q'/>",
         "z",
         {"x>y@0", "p>q@1"}},
        {"a ';' far from its '&' makes no entity",
         "R&D and more text; &#65;",
         "R&D and more text; A",
         {}},
    };
    for (const Row& r : rows) {
        const SpokenText spoken = ParseSsml(r.ssml);
        EXPECT_EQ(spoken.text, r.text) << r.name;
        std::vector<std::string> marks;
        for (const IndexMark& m : spoken.marks) {
            marks.push_back(m.name + "@" + std::to_string(m.offset));
        }
        EXPECT_EQ(marks, r.marks) << r.name;
    }
}

TEST(SsmlText, ReadsBreaksSpellingAndProsody) {
    struct Row {
        const char* name;
        const char* ssml;
        std::vector<std::string> breaks;     // "offset:ms"
        std::vector<std::string> stretches;  // "begin-end spell rate pitch dB"
    };
    const Row rows[] = {
        {"break times and strengths",
         "a<break time=\"1500ms\"/>b<break time='2s'/>c<break strength=\"weak\"/>d<break/>",
         {"1:1500", "3:2000", "5:200", "7:400"},
         {}},
        {"a break is never longer than the limit", "<break time=\"99999s\"/>", {"0:10000"}, {}},
        {"characters are spelled",
         "x <say-as interpret-as=\"characters\">ab</say-as> y",
         {},
         {"2-4 spell 0 0 0"}},
        {"prosody by keyword and by figure, nested",
         "<prosody rate=\"+150%\" volume=\"-6dB\">a<prosody pitch=\"+12st\">b</prosody></prosody>",
         {},
         {"1-2 - 0 100 0", "0-2 - 100 0 -6"}},
        {"an element left open ends with the text",
         "<prosody rate=\"x-slow\">ab",
         {},
         {"0-2 - -74 0 0"}},
    };
    for (const Row& r : rows) {
        const SpokenText spoken = ParseSsml(r.ssml);
        std::vector<std::string> breaks, stretches;
        for (const Break& b : spoken.breaks) {
            breaks.push_back(std::to_string(b.offset) + ":" + std::to_string(b.ms));
        }
        for (const Stretch& st : spoken.stretches) {
            stretches.push_back(std::to_string(st.begin) + "-" + std::to_string(st.end) +
                                (st.spell ? " spell " : " - ") + std::to_string(st.rate) + " " +
                                std::to_string(st.pitch) + " " +
                                std::to_string(static_cast<int>(st.volumeDb)));
        }
        EXPECT_EQ(breaks, r.breaks) << r.name;
        EXPECT_EQ(stretches, r.stretches) << r.name;
    }
}

// Entity decoding once looked for its ';' to the end of the text, so many
// '&' took time growing with the square of the length.
TEST(SsmlText, ReadsManyEntitiesInTimeLinearInTheLength) {
    struct Row {
        const char* name;
        std::string unit;
    };
    const Row rows[] = {
        {"ampersands without ';'", "R&D "},
        {"entities", "&lt; "},
        {"tags with quoted values", "<s a='>'>"},
    };
    const auto seconds = [](const std::string& text) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ParseSsml(text).text.empty());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::string plain(MESSAGE_LIMIT, 'a');
    const double plainSeconds = seconds(plain);
    for (const Row& r : rows) {
        std::string text;
        while (text.size() + r.unit.size() <= MESSAGE_LIMIT) text += r.unit;
        // Loose: the same work per byte within a small factor, where the
        // square of the length would be thousands of times slower.
        EXPECT_LT(seconds(text), 40 * plainSeconds + 0.05) << r.name;
    }
}

TEST(SpeechText, GivesTheRulesWhatTheListenerAskedFor) {
    enum Kind { SPEECH, CHAR, KEY };
    TextSettings none;
    none.someMarks = DEFAULT_SOME_MARKS;
    none.mostMarks = DEFAULT_MOST_MARKS;
    TextSettings some = none, all = none, spell = none, caps = none;
    some.punctuation = PunctuationMode::Some;
    all.punctuation = PunctuationMode::All;
    spell.spelling = true;
    spell.capitals = true;
    caps.capitals = true;
    struct Row {
        const char* name;
        Kind kind;
        const TextSettings& settings;
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"none leaves every mark out", SPEECH, none, "Hi, you; a@b!", "Hi  you  a b "},
        {"marks of numbers and words stay", SPEECH, none, "$3.50, 1,000 don't 'x'",
         "$3.50  1,000 don't  x "},
        {"some reads its own set", SPEECH, some, "a@b, c#d.", "a@b  c#d "},
        {"all reads every mark", SPEECH, all, "Hi, you!", "Hi, you!"},
        {"accents and curly quotes become ASCII", SPEECH, all,
         "caf\xC3\xA9 \xE2\x80\x9Cok\xE2\x80\x9D \xE2\x80\xA6", "cafe \"ok\" ..."},
        {"broken UTF-8 becomes a blank", SPEECH, all,
         "a\xE4\xB8\xAD\xFF"
         "b",
         "a Chinese character  b"},
        {"control characters become blanks", SPEECH, all,
         "a\tb\x01"
         "c",
         "a b c"},
        {"spelling names every character, capitals said", SPEECH, spell, "Hi 5.",
         "capital H i 5 . "},
        {"a character by its name", CHAR, none, "a", "a "},
        {"a capital with recognition on", CHAR, caps, "Q", "capital Q "},
        {"a blank is 'space'", CHAR, none, " ", "space"},
        {"punctuation named whatever the mode", CHAR, none, ",", ", "},
        {"modifier and letter", KEY, none, "shift_a", "shift a  "},
        {"keypad and named keys", KEY, none, "kp-5", "keypad 5  "},
        {"function and lock keys", KEY, none, "control_f12", "control F 12 "},
        {"page keys", KEY, none, "prior", "page up "},
        {"a one-character key", KEY, none, "_", "_ "},
        // What the rules cannot read is said by name, language or count.
        {"emoji by name", SPEECH, none,
         "pizza \xF0\x9F\x8D\x95 and cats \xF0\x9F\x98\xBA\xEF\xB8\x8F.",
         "pizza  slice of pizza  and cats  smiling cat face with open mouth  "},
        {"Chinese as the language and its length", SPEECH, none,
         "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C",
         " Chinese text 5 characters "},
        {"kana make it Japanese", SPEECH, none, "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE",
         " Japanese text 3 characters "},
        {"Hebrew words with the blank between", SPEECH, none,
         "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D ok",
         " Hebrew text 8 characters ok"},
        {"Korean and Arabic apart", SPEECH, none, "\xED\x95\x9C\xD8\xB9",
         " Korean character  Arabic character "},
        {"signs and Greek letters by name", SPEECH, none, "5\xC2\xB0 \xCE\xB1 \xE2\x82\xAC",
         "5 degree   alpha   euro "},
        {"Latin letters beyond Latin-1 lose their accents", SPEECH, none,
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "Lodz"},
        {"an emoji as a character", CHAR, none, "\xF0\x9F\x98\x80", "grinning face "},
        {"spelled, a character of another script is one word", SPEECH, spell, "a\xE4\xB8\xAD",
         "a Chinese character "},
        {"an unknown symbol is said to be one", SPEECH, none, "\xE2\x94\x80\xE2\x94\x80",
         " 2 symbols "},
    };
    for (const Row& r : rows) {
        const std::string got = r.kind == SPEECH ? SpeechText(r.in, r.settings)
                                : r.kind == CHAR ? CharText(r.in, r.settings)
                                                 : KeyText(r.in, r.settings);
        EXPECT_EQ(got, r.out) << r.name;
    }
}

TEST(AudioEvent, EscapesLineBreaksAndTheEscapeByte) {
    const std::vector<int16_t> samples = {0x0A7D, 0x2A0A, 0x0102};
    const std::string event = AudioEvent(samples);
    const std::string head =
        "705-bits=16\n705-num_channels=1\n705-sample_rate=11025\n705-num_samples=3\n705-AUDIO";
    ASSERT_EQ(event.substr(0, head.size()), head);
    ASSERT_EQ(event[head.size()], '\0');
    const std::string tail = "\n705 AUDIO\n";
    ASSERT_EQ(event.substr(event.size() - tail.size()), tail);
    const std::string data =
        event.substr(head.size() + 1, event.size() - head.size() - 1 - tail.size());
    EXPECT_EQ(data.find('\n'), std::string::npos);
    const std::string raw = UnescapeAudioBytes(data);
    ASSERT_EQ(raw.size(), 6u);
    EXPECT_EQ(std::memcmp(raw.data(), samples.data(), 6), 0);
}

// A session over a voices folder with one voice whose clips are a single
// sample each, so that a message's audio is a count of phonemes.
class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        auto table = std::make_unique<voice::PhonTable>();
        for (auto& slot : table->slots) {
            slot.count = 1;
            slot.samples[0] = 1000;
        }
        std::filesystem::create_directories(folder_.Path() / "voices");
        ASSERT_TRUE(voice::SaveVoice(folder_.Path() / "voices" / "Voxa.voc", *table));
        ASSERT_TRUE(voice::SaveVoice(folder_.Path() / "voices" / "Bob.voc", *table));
    }

    // What the session sends for `requests`, each AUDIO event shown as
    // "AUDIO n" with its sample count.
    // `interruption` arrives at the check numbered `afterChecks`.
    std::string Run(const std::vector<Request>& requests, int afterChecks = -1,
                    Command interruption = Command::Stop) {
        std::string out;
        int checks = 0;
        ModuleSession session(
            folder_.Path(),
            [&out](std::string_view bytes) {
                if (bytes.substr(0, 4) == "705-") {
                    const size_t at = bytes.find("num_samples=") + 12;
                    out +=
                        "AUDIO " + std::string(bytes.substr(at, bytes.find('\n', at) - at)) + "\n";
                } else {
                    out += bytes;
                }
            },
            [&](int) { return ++checks == afterChecks ? interruption : Command::Unknown; });
        for (const Request& r : requests) session.Handle(r);
        prosody_ = session.Prosody();
        return out;
    }

    testsupport::TempFolder folder_{"vocalith-speechd"};
    wave::ProsodySettings prosody_;
};

Request Make(Command c, std::string text = {},
             std::vector<std::pair<std::string, std::string>> settings = {}) {
    return Request{c, std::move(text), std::move(settings)};
}

TEST_F(Session, AnswersEachRequestWithItsEvents) {
    struct Row {
        const char* name;
        std::vector<Request> requests;
        std::string out;
        int afterChecks = -1;
        Command interruption = Command::Stop;
    };
    const Request twoPieces = Make(Command::Speak, "<speak>one <mark name=\"m\"/>one</speak>");
    std::string longText;
    for (int i = 0; i < 20; ++i) longText += "one ";
    const Row rows[] = {
        {"start-up and voices",
         {Make(Command::Init), Make(Command::Audio, {}, {{"audio_output_method", "server"}}),
          Make(Command::ListVoices)},
         "299-Vocalith: Initialized successfully.\n299 OK LOADED SUCCESSFULLY\n"
         "203 OK AUDIO INITIALIZED\n200-Bob\ten\tnone\n200-Voxa\ten\tnone\n"
         "200 OK VOICE LIST SENT\n"},
        // "one" is wAHn and a silence: four phonemes of one sample.
        {"a message with a mark: audio, mark, audio",
         {twoPieces},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n700-m\n700 INDEX MARK\nAUDIO 4\n702 END\n"},
        {"a stop before the second piece ends it",
         {twoPieces},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n700-m\n700 INDEX MARK\n703 STOP\n",
         3},
        {"a pause ends it after the mark",
         {twoPieces},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n700-m\n700 INDEX MARK\n704 PAUSE\n",
         3,
         Command::Pause},
        {"a long message goes in stretches cut at blanks",
         {Make(Command::Speak, longText)},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 80\n702 END\n"},
        {"a pause during the last piece lets it end",
         {Make(Command::Speak, "one")},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n702 END\n",
         2,
         Command::Pause},
        {"a pause before a mark with nothing after it lets it end",
         {Make(Command::Speak, "one <mark name=\"m\"/> ")},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n700-m\n700 INDEX MARK\n702 END\n",
         2,
         Command::Pause},
        {"a mark's name stays on its line",
         {Make(Command::Speak, "<mark name=\"a&#10;702 END\"/>")},
         "200 OK SPEAKING\n701 BEGIN\n700-a 702 END\n700 INDEX MARK\n702 END\n"},
        // 300 ms after a sentence is 3307 samples; 200 ms of break 2205.
        {"a sentence's end pauses where its mark is not read",
         {Make(Command::Speak, "one. one")},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 1102\nAUDIO 1102\nAUDIO 1102\nAUDIO 5\nAUDIO "
         "4\n702 END\n"},
        {"a break gives its pause",
         {Make(Command::Speak, "<speak>one<break time=\"200ms\"/>one</speak>")},
         "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\nAUDIO 1102\nAUDIO 1102\nAUDIO 1\nAUDIO "
         "4\n702 END\n"},
        {"a message of no sound still begins and ends",
         {Make(Command::Speak, "<speak></speak>")},
         "200 OK SPEAKING\n701 BEGIN\n702 END\n"},
        {"a sound icon is the server's to play",
         {Make(Command::SoundIcon, "bell")},
         "200 OK SPEAKING\n701 BEGIN\n706-bell\n706 ICON\n702 END\n"},
        {"no audio method but the server's",
         {Make(Command::Audio, {}, {{"audio_output_method", "pulse"}})},
         "300-Only the server audio output method is supported\n300 UNKNOWN ERROR\n"},
        {"stop while idle says nothing; quit answers",
         {Make(Command::Stop), Make(Command::Quit)},
         "210 OK QUIT\n"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Run(r.requests, r.afterChecks, r.interruption), r.out) << r.name;
    }
}

TEST_F(Session, SettingsMapOntoRatePitchAndVolume) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> settings;
        wave::ProsodySettings want;  // rate, pitch, volume in dB
    };
    const Row rows[] = {
        {"the server's defaults are neutral",
         {{"rate", "0"}, {"pitch", "0"}, {"volume", "100"}, {"voice", "male1"}},
         {0, 0, 0.0}},
        {"volume 0 is half the amplitude", {{"volume", "0"}}, {0, 0, -6.0206}},
        {"volume -50 is a quarter", {{"volume", "-50"}}, {0, 0, -12.0412}},
        {"out of range and malformed values", {{"rate", "250"}, {"pitch", "x"}}, {100, 0, 0.0}},
        {"a female voice type raises the pitch",
         {{"voice", "female1"}, {"pitch", "-10"}},
         {0, 32, 0.0}},
    };
    for (const Row& r : rows) {
        Run({Make(Command::Set, {}, r.settings)});
        EXPECT_EQ(prosody_.rate, r.want.rate) << r.name;
        EXPECT_EQ(prosody_.pitch, r.want.pitch) << r.name;
        EXPECT_NEAR(prosody_.volumeDb, r.want.volumeDb, 0.001) << r.name;
    }
}

// Voices as installed: the user's folder, then the shared one.
class Voices : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        if (old != nullptr) oldDataHome_ = old;
        setenv("XDG_DATA_HOME", (root_.Path() / "user").c_str(), 1);
        std::filesystem::create_directories(root_.Path() / "prefix" / "bin");
    }
    void TearDown() override {
        if (oldDataHome_.empty()) {
            unsetenv("XDG_DATA_HOME");
        } else {
            setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
        }
    }
    std::filesystem::path User() const { return root_.Path() / "user" / "vocalith" / "voices"; }
    std::filesystem::path Shared() const {
        return root_.Path() / "prefix" / "share" / "vocalith" / "voices";
    }
    // A voice whose every clip is `samples` samples long.
    static void Write(const std::filesystem::path& file, int samples) {
        auto table = std::make_unique<voice::PhonTable>();
        for (auto& slot : table->slots) {
            slot.count = samples;
            for (int i = 0; i < samples; ++i) slot.samples[i] = 1000;
        }
        ASSERT_TRUE(voice::SaveVoice(file, *table));
    }
    static void WriteBroken(const std::filesystem::path& file) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "not a voice";
    }
    // What the session sends, AUDIO events as "AUDIO n".
    static std::string Run(ModuleSession& session, const std::vector<Request>& requests,
                           std::string& out) {
        out.clear();
        for (const Request& r : requests) session.Handle(r);
        return out;
    }
    std::unique_ptr<ModuleSession> Open(std::string& out) {
        return std::make_unique<ModuleSession>(
            root_.Path() / "prefix" / "bin",
            [&out](std::string_view bytes) {
                if (bytes.substr(0, 4) == "705-") {
                    const size_t at = bytes.find("num_samples=") + 12;
                    out +=
                        "AUDIO " + std::string(bytes.substr(at, bytes.find('\n', at) - at)) + "\n";
                } else {
                    out += bytes;
                }
            },
            [](int) { return Command::Unknown; });
    }

    testsupport::TempFolder root_{"vocalith-voices"};
    std::string oldDataHome_;
};

TEST_F(Voices, NoBadFileMutesTheModuleOrBreaksItsReplies) {
    struct Row {
        const char* name;
        std::vector<std::string> good;    // user's folder, "s/" for the shared one
        std::vector<std::string> broken;  // the same, files that do not load
        std::vector<Request> requests;
        std::string out;
    };
    const Request init = Make(Command::Init), list = Make(Command::ListVoices);
    const Request speak = Make(Command::Speak, "one");
    const std::string ok = "299-Vocalith: Initialized successfully.\n299 OK LOADED SUCCESSFULLY\n";
    const std::string spoken = "200 OK SPEAKING\n701 BEGIN\nAUDIO 4\n702 END\n";
    const Row rows[] = {
        {"names that would break or forge a reply are left out",
         {"s/Voxa", "s/x\n299 OK LOADED SUCCESSFULLY", "s/200 OK VOICE LIST SENT", "s/a\tb",
          "s/Bob 2"},
         {},
         {list},
         "200-Bob 2\ten\tnone\n200-Voxa\ten\tnone\n200 OK VOICE LIST SENT\n"},
        {"a voice that does not load is not listed; chosen, Voxa speaks",
         {"s/Voxa"},
         {"s/Broken"},
         {init, list, Make(Command::Set, {}, {{"synthesis_voice", "Broken"}}), speak},
         ok + "200-Voxa\ten\tnone\n200 OK VOICE LIST SENT\n203 OK SETTINGS RECEIVED\n" + spoken},
        {"a user's broken Voxa leaves the shared one in use",
         {"s/Voxa"},
         {"Voxa"},
         {init, speak},
         ok + spoken},
        {"no voice that loads: INIT names every folder, SPEAK still ends",
         {},
         {"Voxa", "s/Voxa"},
         {init, speak},
         "399-Vocalith: no voice that loads in " + User().string() + " or " + Shared().string() +
             "\n399 ERR CANT INIT MODULE\n200 OK SPEAKING\n701 BEGIN\n702 END\n"},
    };
    for (const Row& r : rows) {
        std::filesystem::remove_all(root_.Path() / "user");
        std::filesystem::remove_all(root_.Path() / "prefix" / "share");
        const auto place = [&](const std::string& v) {
            return v.substr(0, 2) == "s/" ? Shared() / (v.substr(2) + ".voc")
                                          : User() / (v + ".voc");
        };
        for (const std::string& v : r.good) Write(place(v), 1);
        for (const std::string& v : r.broken) WriteBroken(place(v));
        std::string out;
        auto session = Open(out);
        EXPECT_EQ(Run(*session, r.requests, out), r.out) << r.name;
    }
}

TEST_F(Voices, AVoiceReplacedOnDiskIsReadAgain) {
    Write(Shared() / "Voxa.voc", 1);
    std::string out;
    auto session = Open(out);
    const Request speak = Make(Command::Speak, "one");
    EXPECT_NE(Run(*session, {Make(Command::Init), speak}, out).find("AUDIO 4\n"),
              std::string::npos);
    Write(Shared() / "Voxa.voc", 3);
    EXPECT_NE(Run(*session, {speak}, out).find("AUDIO 12\n"), std::string::npos) << out;
}

// The server gone (its end of the pipe closed) stops the message being
// spoken and ends the module, rather than spinning on an input that has
// ended.
TEST_F(Session, TheEndOfInputIsAStopThenAQuit) {
    struct Row {
        const char* name;
        std::string input;
        std::string tail;  // how the output ends
    };
    std::string longText;
    for (int i = 0; i < 4000; ++i) longText += "one ";
    const Row rows[] = {
        {"while a long message is spoken", "SPEAK\n" + longText + "\n.\n",
         "703 STOP\n210 OK QUIT\n"},
        {"while idle", "INIT\n", "210 OK QUIT\n"},
        {"inside an open block", "SPEAK\nhalf a", "202 OK RECEIVING MESSAGE\n210 OK QUIT\n"},
    };
    for (const Row& r : rows) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], r.input.data(), r.input.size()),
                  static_cast<ssize_t>(r.input.size()));
        close(fds[1]);
        ModuleInput input(fds[0]);
        std::string out;
        const ModuleSession::Send send = [&out](std::string_view b) { out += b; };
        ModuleSession session(folder_.Path(), send, [&input](int waitMs) {
            if (const Command c = input.TakeStop(); c != Command::Unknown) return c;
            input.Read(waitMs);
            return input.TakeStop();
        });
        const auto start = std::chrono::steady_clock::now();
        RunModule(input, session, send);
        close(fds[0]);
        // The message lasts minutes when played; stopped, it ends at once.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << r.name;
        ASSERT_GE(out.size(), r.tail.size()) << r.name;
        EXPECT_EQ(out.substr(out.size() - r.tail.size()), r.tail) << r.name;
    }
}

}  // namespace
}  // namespace vocalith::speechd

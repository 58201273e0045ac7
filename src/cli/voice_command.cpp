// vocalith-tts voice: inspect a voice, write its clips as WAV files, build a
// voice from WAV files, replace one clip. Every voice written goes through
// the atomic voice save, so a failure leaves the old file as it was.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/program_folder.h"
#include "cli/cli_common.h"
#include "cli/command_line.h"
#include "voice/clip_wav.h"
#include "voice/phon_table.h"
#include "voice/voice_file.h"
#include "voice/voices_folder.h"
#include "voicebuild/clip_cutter.h"
#include "voicebuild/prompts.h"
#include "voicebuild/voice_check.h"
#include "wave/pcm_format.h"

namespace vocalith::cli {

namespace fs = std::filesystem;

const char kVoiceSynopsis[] =
    "info NAME|FILE\n"
    "export NAME|FILE DIR\n"
    "import NAME|FILE DIR [--base NAME|FILE]\n"
    "set NAME|FILE PHON FILE.wav\n"
    "prompts\n"
    "build NAME DIR [--base NAME|FILE] [--no-check]";

namespace {

const char kVoiceHelp[] =
    "\n"
    "  info    a table of every phoneme's clip: symbol, hint, samples and\n"
    "          milliseconds, and the voice's total.\n"
    "  export  writes the 42 clips into DIR (made if missing) as 16-bit mono\n"
    "          11025 Hz WAV files named by phoneme: AA.wav, p.wav, ... and\n"
    "          silence.wav for the silence clip; an empty clip gives a file\n"
    "          without samples.\n"
    "  import  builds the voice from the WAV files in DIR named as export names\n"
    "          them (letter case ignored); a phoneme without a file keeps its\n"
    "          clip from the --base voice, or stays empty (a warning names them).\n"
    "  set     replaces the clip of phoneme PHON (a symbol such as AA or p, or\n"
    "          silence) with FILE.wav.\n"
    "  prompts prints the word to record for each phoneme, one \"SYMBOL<tab>word\"\n"
    "          line per phoneme in the phoneme list's order.\n"
    "  build   makes voice NAME from recordings of the prompt words: DIR holds\n"
    "          SYMBOL.wav files (AA.wav, p.wav, ...), each one person saying\n"
    "          that phoneme's prompt word once, in any format and rate. The\n"
    "          phoneme is found in each word and shaped for running speech (a\n"
    "          vowel's or sonorant's steady middle, a vowel's spectrum cleared\n"
    "          of a ripple of its own that no vocal tract makes, but not of\n"
    "          what all the vowels share, such as a room's; the upper formants\n"
    "          of \"beet\", \"bit\" or \"gate\" raised where they are far weaker\n"
    "          than the take's other vowels have theirs; the unstressed\n"
    "          vowel of \"alone\" made as neutral as it is in running speech; a\n"
    "          stop's burst and aspiration after a short closure), cut at zero\n"
    "          crossings, faded at its edges and brought to the voice's level;\n"
    "          one line per phoneme gives the cut's start and end in the\n"
    "          recording and its confidence; a take that sounds like another\n"
    "          word, whose sound is squeezed to almost nothing, or that will be\n"
    "          hard to understand (too fast, mumbled, faint, clipped, or a\n"
    "          vowel out of place among the speaker's own) gets a warning to\n"
    "          record it again, saying why.\n"
    "          The last line is the voice's own check: about how many words of\n"
    "          100 a listener will mishear with it and with Voxa (both speak 60\n"
    "          sentences to the speech recognizer the cutting uses, which takes\n"
    "          some seconds; without it, a rougher guess from the vowels), and\n"
    "          which vowels to record again. A phoneme without a file keeps the\n"
    "          --base voice's clip (Voxa by default; a warning names them). A\n"
    "          recording with no speech or more than one word, or a file that is\n"
    "          not audio, stops the build: nothing is saved.\n"
    "\n"
    "A NAME is a voice in the voices folder (letter case ignored), read where\n"
    "the window's Load reads it and written where its Save writes it; a value\n"
    "containing '/' or ending in \".voc\" is a voice file. WAV files in may be\n"
    "any PCM format, rate and channel count: they are converted to 16-bit mono\n"
    "at 11025 Hz, and a clip longer than 10000 samples is cut, with a warning.\n"
    "\n"
    "  --base NAME|FILE  import, build: the voice the missing clips come from.\n"
    "  --no-check        build: save the voice without its own check.\n"
    "  --help            print this text.\n";

enum VoiceOption { OPTION_BASE, OPTION_NO_CHECK };  // kVoiceOptions
constexpr CommandOption kVoiceOptions[] = {{"--base", true}, {"--no-check", false}};

bool EndsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

void Warn(const std::string& message) {
    std::fprintf(stderr, "vocalith-tts: warning: %s\n", message.c_str());
}

std::string CutWarning(const fs::path& file) {
    return file.string() + " is longer than a clip's " + std::to_string(voice::PHON_MAX_SAMPLES) +
           " samples: only its first " + std::to_string(voice::PHON_MAX_SAMPLES) + " are kept";
}

// Without --base, the phonemes that have no file stay empty. They are named
// rather than filled from Voxa: the voice is the user's recordings and
// nothing else, and an empty clip shows in `voice info` where a borrowed
// one would pass unnoticed. (A file without samples is an empty clip as
// export writes it, and needs no warning.)
void WarnEmpty(const std::map<int, fs::path>& clips) {
    std::string names;
    int count = 0;
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        if (clips.count(code)) continue;
        names += (count++ ? ", " : "") + voice::ClipName(code);
    }
    if (count == 0) return;
    Warn(std::to_string(count) + (count == 1 ? " phoneme has" : " phonemes have") +
         " no file and stay" + (count == 1 ? "s" : "") + " empty (" + names +
         "); --base Voxa takes them from Voxa");
}

// Names the prompts `files` has no recording of: their clips stay `base`'s.
void WarnNotRecorded(const std::map<int, fs::path>& files, const std::string& base) {
    std::string names;
    int count = 0;
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        if (files.count(code) || !voicebuild::PromptFor(code)) continue;
        names += (count++ ? ", " : "") + voice::ClipName(code);
    }
    if (count == 0) return;
    Warn(std::to_string(count) + (count == 1 ? " phoneme has" : " phonemes have") +
         " no recording and keep" + (count == 1 ? "s " : " ") + base + "'s clip (" + names +
         "); record " + (count == 1 ? "it" : "them") + " (voice prompts lists the words)");
}

// Loads the voice file at `path` into `table`; -1, or an exit status.
int Load(const fs::path& path, voice::PhonTable& table) {
    const voice::VoiceResult loaded = voice::LoadVoice(path, table);
    if (!loaded) return Fail(EXIT_FAILURE_, "cannot load voice: " + loaded.reason);
    return -1;
}

// Saves `table` at `path` under `lock`; an exit status.
int Save(const fs::path& path, const voice::PhonTable& table, const voice::VoiceLock& lock) {
    const voice::VoiceResult saved = voice::SaveVoice(path, table, &lock);
    if (!saved) return Fail(EXIT_FAILURE_, "cannot save voice: " + saved.reason);
    return EXIT_OK;
}

// Takes the edit lock of the voice file `target`; -1, or an exit status.
int Lock(const fs::path& target, voice::VoiceLock& lock) {
    const voice::VoiceResult locked = lock.Acquire(target);
    if (!locked) return Fail(EXIT_FAILURE_, "cannot save voice: " + locked.reason);
    return -1;
}

// The voice `base` (a NAME|FILE, or none) loaded into `table` under the
// target's lock: the file is looked up again there, since the voice it names
// may have been saved meanwhile (a first edit moves it into the user's
// folder). -1, or an exit status.
int LoadBase(const std::string* base, voice::PhonTable& table) {
    if (!base) return -1;
    fs::path path;
    if (const int status = ResolveVoice(*base, VoiceUse::Read, path); status >= 0) return status;
    return Load(path, table);
}

// Puts the clips read into `clips` (by code) into `table`.
void Apply(const voice::PhonTable& clips, const std::vector<int>& codes, voice::PhonTable& table) {
    for (const int code : codes) {
        table.slots[static_cast<size_t>(code)] = clips.slots[static_cast<size_t>(code)];
    }
}

int Info(const std::string& name) {
    fs::path path;
    if (const int status = ResolveVoice(name, VoiceUse::Read, path); status >= 0) return status;
    auto table = std::make_unique<voice::PhonTable>();
    if (const int status = Load(path, *table); status >= 0) return status;
    const auto ms = [](int64_t samples) {
        return static_cast<double>(samples) * 1000.0 / wave::SYSTEM_SAMPLE_RATE;
    };
    std::printf("%s\n%-8s %-8s %8s %10s\n", path.string().c_str(), "phoneme", "hint", "samples",
                "ms");
    int64_t total = 0;
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        const int32_t count = table->slots[static_cast<size_t>(code)].count;
        total += count;
        std::printf("%-8s %-8s %8d %10.2f\n", voice::ClipName(code).c_str(),
                    voice::kInventory[static_cast<size_t>(code)].hint, count, ms(count));
    }
    std::printf("%-17s %8lld %10.2f  (%lld bytes)\n", "total", static_cast<long long>(total),
                ms(total), static_cast<long long>(voice::VOICE_HEADER_BYTES + 2 * total));
    return EXIT_OK;
}

int Export(const std::string& name, const std::string& dir) {
    fs::path path;
    if (const int status = ResolveVoice(name, VoiceUse::Read, path); status >= 0) return status;
    auto table = std::make_unique<voice::PhonTable>();
    if (const int status = Load(path, *table); status >= 0) return status;
    const base::Result written = voice::ExportVoiceClips(*table, dir);
    if (!written) return Fail(EXIT_FAILURE_, "export: " + written.reason);
    return EXIT_OK;
}

int Import(const std::string& name, const std::string& dir, const std::string* base) {
    fs::path target;
    if (const int status = ResolveVoice(name, VoiceUse::Write, target); status >= 0) return status;
    if (base) {
        fs::path basePath;
        if (const int status = ResolveVoice(*base, VoiceUse::Read, basePath); status >= 0)
            return status;
    }
    std::map<int, fs::path> clips;
    std::vector<std::string> ignored;
    if (const base::Result found = voice::FindClipFiles(dir, clips, ignored); !found) {
        return Fail(EXIT_FAILURE_, "import: " + found.reason);
    }
    for (const std::string& file : ignored) {
        Warn("ignored " + (fs::path(dir) / file).string() + ": no phoneme is named so");
    }
    if (clips.empty()) {
        return Fail(EXIT_FAILURE_,
                    "import: " + dir + " holds no clip files (AA.wav, p.wav, ... silence.wav)");
    }
    if (!base) WarnEmpty(clips);
    // Every file is read before anything is written, and before the lock is
    // taken, so that it is held only for the base's reading and the save.
    auto read = std::make_unique<voice::PhonTable>();
    std::vector<int> codes;
    for (const auto& [code, file] : clips) {
        bool cut = false;
        const base::Result imported =
            voice::ImportClip(file, read->slots[static_cast<size_t>(code)], cut, true);
        if (!imported) return Fail(EXIT_FAILURE_, "import: " + imported.reason);
        if (cut) Warn(CutWarning(file));
        codes.push_back(code);
    }
    voice::VoiceLock lock;
    if (const int status = Lock(target, lock); status >= 0) return status;
    auto table = std::make_unique<voice::PhonTable>();
    if (const int status = LoadBase(base, *table); status >= 0) return status;
    Apply(*read, codes, *table);
    return Save(target, *table, lock);
}

int Set(const std::string& name, const std::string& phon, const std::string& file) {
    const int code = voice::ClipNameCode(phon);
    if (code < 0) {
        return UsageError(
            "voice", "set: unknown phoneme '" + phon + "' (a symbol such as AA or p, or silence)");
    }
    fs::path from;
    if (const int status = ResolveVoice(name, VoiceUse::Read, from); status >= 0) return status;
    fs::path to;
    if (const int status = ResolveVoice(name, VoiceUse::Write, to); status >= 0) return status;
    auto read = std::make_unique<voice::PhonTable>();
    bool cut = false;
    const base::Result imported =
        voice::ImportClip(file, read->slots[static_cast<size_t>(code)], cut);
    if (!imported) return Fail(EXIT_FAILURE_, "voice set: " + imported.reason);
    if (cut) Warn(CutWarning(file));
    // The voice is read, changed and saved under its lock, so that a
    // concurrent edit is never lost.
    voice::VoiceLock lock;
    if (const int status = Lock(to, lock); status >= 0) return status;
    auto table = std::make_unique<voice::PhonTable>();
    if (const int status = LoadBase(&name, *table); status >= 0) return status;
    Apply(*read, {code}, *table);
    return Save(to, *table, lock);
}

int Prompts() {
    for (int code = 0; code < voice::PHONEME_COUNT; ++code) {
        if (const voicebuild::Prompt* prompt = voicebuild::PromptFor(code)) {
            std::printf("%s\t%s\n", voice::kInventory[static_cast<size_t>(code)].symbol,
                        voicebuild::PromptWord(*prompt).c_str());
        }
    }
    return EXIT_OK;
}

// The measures behind a cut's confidence (VOCALITH_DEBUG), one line.
void PrintMeasures(const voicebuild::ClipMeasures& m, const voicebuild::SpeakerProfile& s) {
    std::printf(
        "    measures word %.0f/%.0f ms (tempo %+.2f) level %.1f floor %.1f clipped %.4f "
        "bright %+.1f voiced %.2f f %.0f %.0f %.0f dist %.2f | speaker tempo %+.2f "
        "level %.1f bright %.1f scale %+.2f %+.2f\n",
        m.wordMs, m.expectedMs, m.expectedMs > 0 ? std::log2(m.wordMs / m.expectedMs) - s.tempo : 0,
        m.levelDb, m.floorDb, m.clippedShare, m.brightDb - s.brightDb, m.voicedShare, m.f1, m.f2,
        m.f2Alt, voicebuild::VowelDistance(m, s), s.tempo, s.levelDb, s.brightDb, s.f1Scale,
        s.f2Scale);
}

int Build(const std::string& name, const std::string& dir, const std::string& base,
          bool checkVoice) {
    fs::path target;
    if (const int status = ResolveVoice(name, VoiceUse::Write, target); status >= 0) return status;
    fs::path basePath;
    if (const int status = ResolveVoice(base, VoiceUse::Read, basePath); status >= 0) return status;
    // The base is checked now and read under the lock, once every clip is cut.
    auto check = std::make_unique<voice::PhonTable>();
    if (const int status = Load(basePath, *check); status >= 0) return status;
    auto table = std::make_unique<voice::PhonTable>();
    std::vector<int> codes;
    std::map<int, fs::path> files;
    std::vector<std::string> ignored;
    if (const base::Result found = voice::FindClipFiles(dir, files, ignored); !found) {
        return Fail(EXIT_FAILURE_, "voice build: " + found.reason);
    }
    for (const std::string& file : ignored) {
        Warn("ignored " + (fs::path(dir) / file).string() + ": no phoneme is named so");
    }
    if (files.empty()) {
        return Fail(
            EXIT_FAILURE_,
            "voice build: " + dir + " holds no recordings named by phoneme (AA.wav, p.wav, ...)");
    }
    voicebuild::ClipCutter cutter;
    if (!cutter.Aligning()) Warn(cutter.Note());
    // Every recording is cut before anything is written, and every cut is
    // judged again against the speaker the whole take shows.
    std::vector<voicebuild::Cut> cuts;
    std::vector<fs::path> cutFiles;
    for (const auto& [code, file] : files) {
        const std::string symbol = voice::ClipName(code);
        voice::PhonSlot& slot = table->slots[static_cast<size_t>(code)];
        if (code == voice::SILENCE_CODE) {  // no word to cut: taken as it is
            bool cut = false;
            const base::Result read = voice::ImportClip(file, slot, cut);
            if (!read) return Fail(EXIT_FAILURE_, "voice build: " + read.reason);
            if (cut) Warn(CutWarning(file));
            std::printf("%-3s %-8s whole file\n", symbol.c_str(), "");
            continue;
        }
        voicebuild::Cut cut = cutter.CutFile(file, code);
        if (!cut.ok()) {
            return Fail(EXIT_FAILURE_,
                        "voice build: " + file.string() + ": " + cut.reason + "; nothing saved");
        }
        cut.recording = {};  // only its measures are needed from here on
        cuts.push_back(std::move(cut));
        cutFiles.push_back(file);
    }
    std::vector<voicebuild::ClipMeasures> measures;
    for (const voicebuild::Cut& cut : cuts) measures.push_back(cut.measures);
    // Judged against the whole take before the vowels are finished: a poor
    // schwa is made from the speaker's "but".
    const voicebuild::SpeakerProfile speaker = voicebuild::ProfileOf(measures);
    for (voicebuild::Cut& cut : cuts) voicebuild::ApplyJudgement(cut, speaker);
    voicebuild::FinishVowelClips(cuts);
    const bool debug = std::getenv("VOCALITH_DEBUG") != nullptr;
    for (size_t i = 0; i < cuts.size(); ++i) {
        voicebuild::Cut& cut = cuts[i];
        const int code = cut.code;
        const std::string symbol = voice::ClipName(code);
        const fs::path& file = cutFiles[i];
        std::printf("%-3s %-8s %5d %5d ms  confidence %.2f%s\n", symbol.c_str(),
                    voicebuild::PromptWord(*voicebuild::PromptFor(code)).c_str(), cut.StartMs(),
                    cut.EndMs(), cut.confidence, cut.aligned ? "" : "  (by loudness)");
        if (debug) {
            PrintMeasures(cut.measures, speaker);
            std::printf("    heard \"%s\" by %.2f\n", cut.heardAs.c_str(), cut.mismatch);
        }
        if (!cut.problem.empty()) {
            Warn(file.string() + ": " + cut.problem + "; record " + symbol + " again (say \"" +
                 voicebuild::PromptWord(*voicebuild::PromptFor(code)) + "\" once)");
        } else if (cut.confidence < voicebuild::LOW_CONFIDENCE) {
            Warn(file.string() + ": low confidence in the cut of " + symbol +
                 "; listen to it (voice export) and record it again if it sounds wrong");
        }
        voice::PhonSlot& slot = table->slots[static_cast<size_t>(code)];
        slot.count = static_cast<int32_t>(cut.clip.size());
        std::copy(cut.clip.begin(), cut.clip.end(), slot.samples.begin());
    }
    std::fflush(stdout);
    WarnNotRecorded(files, base);
    for (const auto& entry : files) codes.push_back(entry.first);
    auto made = std::make_unique<voice::PhonTable>();
    {
        voice::VoiceLock lock;
        if (const int status = Lock(target, lock); status >= 0) return status;
        if (const int status = LoadBase(&base, *made); status >= 0) return status;
        Apply(*table, codes, *made);
        if (const int status = Save(target, *made, lock); status != EXIT_OK) return status;
    }
    // The voice's own check, beside Voxa, once the voices folder is free for
    // others again (it takes seconds); a voice is saved whatever it says.
    if (!checkVoice) return EXIT_OK;
    auto voxa = std::make_unique<voice::PhonTable>();
    fs::path voxaPath;
    std::string checked = "the voice check was skipped: the voice Voxa was not found";
    if (ResolveVoice("Voxa", VoiceUse::Read, voxaPath) < 0 && voice::LoadVoice(voxaPath, *voxa)) {
        const voicebuild::VoiceHearing hearing;
        checked = voicebuild::HearVoiceCheck(hearing, *made, *voxa, "Voxa").text;
    }
    std::printf("voice check: %s\n", checked.c_str());
    if (std::getenv("VOCALITH_DEBUG")) {
        std::printf("    vowel distance %.3f, Voxa's %.3f\n", voicebuild::VowelSpaceDistance(*made),
                    voicebuild::VowelSpaceDistance(*voxa));
    }
    return EXIT_OK;
}

}  // namespace

int ResolveVoice(const std::string& voice, VoiceUse use, fs::path& path) {
    if (voice.find('/') != std::string::npos || EndsWith(voice, ".voc")) {
        path = voice;
        return -1;
    }
    std::string reason;
    const voice::VoiceNameCheck check = voice::CheckVoiceName(voice, &reason);
    if (check == voice::VoiceNameCheck::TooShort) {
        return Fail(EXIT_FAILURE_,
                    "unknown voice '" + voice + "': a voice name has at least 2 characters");
    }
    if (check == voice::VoiceNameCheck::Refused) {
        return Fail(EXIT_FAILURE_, "unknown voice '" + voice + "': " + reason);
    }
    const fs::path program = base::ExecutableFolder();
    path = use == VoiceUse::Write ? voice::SaveVoicePath(program, voice)
                                  : voice::LoadVoicePath(program, voice);
    if (voice::VoicePathTooLong(path)) {
        return Fail(EXIT_FAILURE_, "cannot use voice '" + voice + "': the path " + path.string() +
                                       " is too long for a voice file");
    }
    std::error_code ec;
    if (use == VoiceUse::Read && !fs::exists(path, ec)) {
        std::string files;  // every place looked at
        for (const fs::path& folder : voice::VoicesFolders(program))
            files += (files.empty() ? "" : " or ") + (folder / (voice + ".voc")).string();
        return Fail(EXIT_FAILURE_, "unknown voice '" + voice + "' (no file " + files + ")");
    }
    return -1;
}

int RunVoice(int argc, char** argv) {
    OptionParser args(argc, argv, kVoiceOptions);
    std::vector<std::string> operands;
    std::string base;
    bool hasBase = false;
    bool noCheck = false;
    for (ParsedArg arg; args.Next(arg);) {
        switch (arg.kind) {
            case ArgKind::Operand:
                operands.emplace_back(arg.text);
                break;
            case ArgKind::Help:
                std::fputs((UsageLines("voice", kVoiceSynopsis, true) + kVoiceHelp).c_str(),
                           stdout);
                return EXIT_OK;
            case ArgKind::UnknownOption:
            case ArgKind::MissingValue:
                return UsageError("voice", ArgumentError(arg));
            case ArgKind::Option:
                if (arg.option == OPTION_NO_CHECK) {
                    noCheck = true;
                } else {
                    base = arg.text;
                    hasBase = true;
                }
                break;
        }
    }
    struct Action {
        std::string_view name;
        size_t operands;  // after the action's name
        std::string_view usage;
    };
    static constexpr Action kActions[] = {
        {"info", 1, "info NAME|FILE"},
        {"export", 2, "export NAME|FILE DIR"},
        {"import", 2, "import NAME|FILE DIR [--base NAME|FILE]"},
        {"set", 3, "set NAME|FILE PHON FILE.wav"},
        {"prompts", 0, "prompts"},
        {"build", 2, "build NAME DIR [--base NAME|FILE] [--no-check]"}};
    if (operands.empty()) {
        return UsageError("voice", "say what to do: info, export, import, set, prompts or build");
    }
    const Action* action = nullptr;
    for (const Action& a : kActions) {
        if (operands[0] == a.name) action = &a;
    }
    if (!action) {
        return UsageError("voice", "unknown action '" + operands[0] +
                                       "' (info, export, import, set, prompts or build)");
    }
    if (operands.size() != action->operands + 1) {
        const std::string_view rest = action->usage.size() > action->name.size()
                                          ? action->usage.substr(action->name.size() + 1)
                                          : "nothing more";
        return UsageError("voice", std::string(action->name) + " takes " + std::string(rest));
    }
    if (hasBase && action->name != "import" && action->name != "build") {
        return UsageError("voice", "--base goes with import and build only");
    }
    if (noCheck && action->name != "build") {
        return UsageError("voice", "--no-check goes with build only");
    }
    if (action->name == "info") return Info(operands[1]);
    if (action->name == "export") return Export(operands[1], operands[2]);
    if (action->name == "import")
        return Import(operands[1], operands[2], hasBase ? &base : nullptr);
    if (action->name == "prompts") return Prompts();
    if (action->name == "build") {
        return Build(operands[1], operands[2], hasBase ? base : "Voxa", !noCheck);
    }
    return Set(operands[1], operands[2], operands[3]);
}

const Subcommand kVoiceCommand = {
    "voice",
    "shows a voice's clips, writes them as WAV files, builds a voice\n"
    "from WAV files or replaces one clip.",
    kVoiceSynopsis, kVoiceOptions, RunVoice};

}  // namespace vocalith::cli

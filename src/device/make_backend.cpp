// MakeBackend: the table of audio backends and the choice that picks one.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "device/backends.h"

namespace vocalith::device {

namespace {

bool Refuse(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// "(use portaudio, null or wav:OUT.wav[,IN.wav])", closing every error line
// about a choice.
std::string ChoicesHint() {
    return "(use " + BackendChoices() + ")";
}

// Whether `path` can be created or overwritten, checked before anything is
// written so a mistyped folder is reported at once.
bool CanWrite(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p(path);
    if (fs::is_directory(p, ec)) {
        return Refuse(error, "cannot write output file '" + path + "': it is a folder");
    }
    if (fs::exists(p, ec)) {
        if (access(path.c_str(), W_OK) != 0) {
            return Refuse(error, "cannot write output file '" + path + "': permission denied");
        }
        return true;
    }
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(dir, ec) || access(dir.c_str(), W_OK | X_OK) != 0) {
        return Refuse(error, "cannot write output file '" + path + "': no writable folder '" +
                                 dir.string() + "'");
    }
    return true;
}

std::unique_ptr<AudioBackend> PortAudioChoice(const std::string&, std::string_view, std::string*) {
    return MakePortAudioBackend();
}

std::unique_ptr<AudioBackend> NullChoice(const std::string&, std::string_view, std::string*) {
    return MakeNullBackend();
}

// "wav:OUT.wav[,IN.wav]": both files are checked here, so a mistake is
// reported before anything opens.
std::unique_ptr<AudioBackend> WavChoice(const std::string& choice, std::string_view argument,
                                        std::string* error) {
    std::string out(argument);
    std::string in;
    if (auto comma = argument.find(','); comma != std::string_view::npos) {
        out = argument.substr(0, comma);
        in = argument.substr(comma + 1);
        if (in.empty()) {
            Refuse(error, "audio backend '" + choice + "' names no input file after the comma " +
                              ChoicesHint());
            return nullptr;
        }
    }
    if (out.empty()) {
        Refuse(error, "audio backend '" + choice + "' names no output file " + ChoicesHint());
        return nullptr;
    }
    if (!CanWrite(out, error)) return nullptr;
    if (!in.empty()) {
        // A missing or unusable microphone file is reported here rather
        // than leaving capture silently absent.
        wave::AudioFrames audio;
        if (base::Result read = ReadCaptureFile(in, audio); !read) {
            Refuse(error, "cannot read input file '" + in + "': " + read.reason);
            return nullptr;
        }
    }
    return MakeWavBackend(out, in);
}

// The backends, the default first. To add one, write its factory (in a file
// of its own) and add its row here; MakeBackend and both programs' usage
// texts take it from this table.
constexpr BackendEntry kBackends[] = {
    {"portaudio", false, "portaudio", "portaudio (the default speakers)", PortAudioChoice},
    {"null", false, "null", "null", NullChoice},
    {"wav", true, "wav:OUT.wav[,IN.wav]", "wav:OUT.wav (written at real-time pace)", WavChoice},
};

}  // namespace

static std::unique_ptr<AudioBackend> MakeChosen(std::string_view choice, std::string* error);

std::span<const BackendEntry> AudioBackends() {
    return kBackends;
}

std::string BackendChoices() {
    std::string text;
    for (size_t i = 0; i < std::size(kBackends); ++i) {
        if (i > 0) text += i + 1 == std::size(kBackends) ? " or " : ", ";
        text += kBackends[i].usage;
    }
    return text;
}

std::unique_ptr<AudioBackend> MakeBackend(std::string_view choice, std::string* error,
                                          bool* fileFault) {
    std::string reason;
    std::unique_ptr<AudioBackend> made = MakeChosen(choice, &reason);
    // A choice not understood is reported as "audio backend ..." or
    // "unknown audio backend ..."; a file the choice names as "cannot ...".
    if (fileFault) *fileFault = !made && reason.rfind("cannot ", 0) == 0;
    if (error && !made) *error = reason;
    return made;
}

static std::unique_ptr<AudioBackend> MakeChosen(std::string_view choice, std::string* error) {
    std::string name(choice);
    if (name.empty()) {
        const char* env = std::getenv("VOCALITH_AUDIO");
        name = env && *env ? env : std::string(kBackends[0].name);
    }
    for (const BackendEntry& backend : kBackends) {
        const std::string_view text = name;
        if (!backend.takesArgument && text == backend.name) return backend.make(name, {}, error);
        if (backend.takesArgument && text.size() > backend.name.size() &&
            text.substr(0, backend.name.size()) == backend.name &&
            text[backend.name.size()] == ':') {
            return backend.make(name, text.substr(backend.name.size() + 1), error);
        }
    }
    Refuse(error, "unknown audio backend '" + name + "' " + ChoicesHint());
    return nullptr;
}

bool ChooseDevices(AudioBackend& backend, std::string_view inputChoice,
                   std::string_view outputChoice, std::string* error) {
    if (inputChoice.empty() && outputChoice.empty()) return true;
    ChosenDevices chosen;
    if (!ResolveDevices(backend.ListDevices(), inputChoice, outputChoice, chosen, error)) {
        return false;
    }
    backend.UseDevices(chosen.input, chosen.output);
    return true;
}

}  // namespace vocalith::device

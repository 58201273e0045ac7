#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "device/backends.h"

namespace vocalith::device {

namespace {

constexpr const char* USAGE = "(use portaudio, null or wav:OUT.wav[,IN.wav])";

bool SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// Whether `path` can be created or overwritten, checked before anything is
// written so a mistyped folder is reported at once.
bool CanWrite(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p(path);
    if (fs::is_directory(p, ec)) {
        return SetError(error, "cannot write output file '" + path + "': it is a folder");
    }
    if (fs::exists(p, ec)) {
        if (access(path.c_str(), W_OK) != 0) {
            return SetError(error, "cannot write output file '" + path + "': permission denied");
        }
        return true;
    }
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(dir, ec) || access(dir.c_str(), W_OK | X_OK) != 0) {
        return SetError(error, "cannot write output file '" + path + "': no writable folder '" +
                                   dir.string() + "'");
    }
    return true;
}

}  // namespace

std::unique_ptr<AudioBackend> MakeBackend(std::string_view choice, std::string* error) {
    std::string name(choice);
    if (name.empty()) {
        const char* env = std::getenv("VOCALITH_AUDIO");
        name = env && *env ? env : "portaudio";
    }
    if (name == "portaudio") return MakePortAudioBackend();
    if (name == "null") return MakeNullBackend();
    if (name.rfind("wav:", 0) == 0) {
        std::string rest = name.substr(4);
        std::string out = rest;
        std::string in;
        if (auto comma = rest.find(','); comma != std::string::npos) {
            out = rest.substr(0, comma);
            in = rest.substr(comma + 1);
            if (in.empty()) {
                SetError(error, "audio backend '" + name +
                                    "' names no input file after the comma " + USAGE);
                return nullptr;
            }
        }
        if (out.empty()) {
            SetError(error, "audio backend '" + name + "' names no output file " + USAGE);
            return nullptr;
        }
        if (!CanWrite(out, error)) return nullptr;
        if (!in.empty()) {
            // A missing or unusable microphone file is reported here rather
            // than leaving capture silently absent.
            wave::AudioFrames audio;
            if (base::Result read = ReadCaptureFile(in, audio); !read) {
                SetError(error, "cannot read input file '" + in + "': " + read.reason);
                return nullptr;
            }
        }
        return MakeWavBackend(out, in);
    }
    SetError(error, "unknown audio backend '" + name + "' " + USAGE);
    return nullptr;
}

}  // namespace vocalith::device

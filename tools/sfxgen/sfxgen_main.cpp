// sfxgen OUT.wav: writes the start-up sound.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "sfxgen/arrow_chime.h"
#include "wave/wav_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sfxgen OUT.wav\n");
        return 2;
    }
    const std::filesystem::path path(argv[1]);
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    const vocalith::base::Result written =
        vocalith::wave::WriteWavFile(path, vocalith::sfxgen::SynthesizeArrowChime());
    if (!written) {
        std::fprintf(stderr, "sfxgen: %s\n", written.reason.c_str());
        return 1;
    }
    return 0;
}

#include "base/user_errors.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vocalith::base {

namespace {

std::once_flag userOnce;
std::FILE* userErrors = nullptr;

}  // namespace

std::FILE* UserErrors() {
    std::call_once(userOnce, [] {
        // A stream of its own on descriptor 2, so it stays on the terminal
        // (or wherever descriptor 2 is sent) whatever becomes of `stderr`.
        userErrors = fdopen(STDERR_FILENO, "w");
        if (userErrors == nullptr) {
            userErrors = stderr;
            return;
        }
        std::setvbuf(userErrors, nullptr, _IONBF, 0);
    });
    return userErrors;
}

void WriteUserErrors(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), UserErrors());
}

bool DebugLogShown() {
    const char* setting = std::getenv("VOCALITH_DEBUG");
    return setting != nullptr && std::strcmp(setting, "1") == 0;
}

void QuietLibraryChatter() {
    static std::once_flag once;
    std::call_once(once, [] {
        UserErrors();  // taken before `stderr` moves
        if (DebugLogShown()) return;
        std::FILE* log = std::fopen("/dev/null", "we");
        if (log == nullptr) return;
        std::fflush(stderr);
        // glibc lets a program point `stderr` elsewhere; descriptor 2 and
        // std::cerr stay on the terminal.
        stderr = log;
    });
}

}  // namespace vocalith::base

#include "base/user_errors.h"

#include <cstdlib>
#include <cstring>

namespace vocalith::base {

std::FILE* UserErrors() {
    return stderr;
}

void WriteUserErrors(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), UserErrors());
}

bool DebugLogShown() {
    const char* setting = std::getenv("VOCALITH_DEBUG");
    return setting != nullptr && std::strcmp(setting, "1") == 0;
}

}  // namespace vocalith::base

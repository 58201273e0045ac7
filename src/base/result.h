#pragma once
// The outcome of a file or device operation: a code, 0 on success, and on
// failure a reason a person can read ("cannot open voices/Bob.voc: no such
// file"). Each operation documents its own codes; where callers have always
// seen numbers (the sound-effect loader's -1..-8, the music commands' codes)
// those numbers are the codes. Any other failure uses RESULT_FAILED.
#include <cstdint>
#include <string>
#include <utility>

namespace vocalith::base {

inline constexpr int32_t RESULT_OK = 0;
inline constexpr int32_t RESULT_FAILED = -1;

struct Result {
    int32_t code = RESULT_OK;
    std::string reason;  // empty on success

    bool ok() const { return code == RESULT_OK; }
    explicit operator bool() const { return ok(); }

    static Result Ok() { return {}; }
    static Result Fail(std::string why, int32_t failCode = RESULT_FAILED) {
        return Result{failCode, std::move(why)};
    }
};

}  // namespace vocalith::base

#pragma once
// Sets (or, given nullptr, unsets) an environment variable for one scope and
// puts the old value back when the scope ends. Tests of the data folders
// point XDG_DATA_HOME and HOME at temporary folders with it, so no test ever
// reads or writes the real user's folders.
#include <cstdlib>
#include <optional>
#include <string>

namespace vocalith::test {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const char* value) {
        if (value != nullptr) {
            ::setenv(name_.c_str(), value, 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace vocalith::test

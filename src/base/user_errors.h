#pragma once
// Standard error. The program's own messages go to the user's terminal
// through UserErrors(). Sound libraries have notes of their own (underruns,
// failed internal checks, devices they probed); the device layer catches them
// through the libraries' own hooks and writes them to the debug log, which
// VOCALITH_DEBUG=1 shows on the terminal and which is dropped otherwise.
#include <cstdio>
#include <string_view>

namespace vocalith::base {

// The terminal's standard error, for the program's own messages.
std::FILE* UserErrors();

// Writes `text` as it stands to UserErrors(); the diagnostics sink that the
// program's translators are given.
void WriteUserErrors(std::string_view text);

// True when VOCALITH_DEBUG=1.
bool DebugLogShown();

}  // namespace vocalith::base

#pragma once
// Standard error, split in two. The program's own messages go to the user's
// terminal through UserErrors(). Sound libraries print notes of their own on
// the C library's `stderr` (underruns, failed internal checks, devices they
// probed); once QuietLibraryChatter() has run those go to the debug log,
// which VOCALITH_DEBUG=1 shows on the terminal and which is dropped otherwise.
#include <cstdio>
#include <string_view>

namespace vocalith::base {

// The terminal's standard error, for the program's own messages. Unbuffered,
// so its lines keep their order with std::cerr's.
std::FILE* UserErrors();

// Writes `text` as it stands to UserErrors(); the diagnostics sink that the
// program's translators are given.
void WriteUserErrors(std::string_view text);

// Points the C library's `stderr` at the debug log. Harmless when repeated.
void QuietLibraryChatter();

// True when VOCALITH_DEBUG=1.
bool DebugLogShown();

}  // namespace vocalith::base

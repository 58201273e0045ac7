#pragma once
// Program start-up around the main window: the sockets start-up step (which
// always succeeds on this system but keeps its failure path), the window run,
// and the version record.
#include <functional>
#include <string>

namespace vocalith::app {

inline constexpr const char* kSocketsFailedText = "Windows sockets initialization failed.";

// The executable's version record (the version itself is base::kVersion).
inline constexpr const char* kFileDescription = "VOCALITH MFC Application";
inline constexpr const char* kProductName = "VOCALITH Application";
inline constexpr const char* kInternalName = "VOCALITH";

// The sockets layer's start-up; true on this system.
bool StartSockets();

struct StartupSteps {
    std::function<bool()> startSockets = StartSockets;
    std::function<void(const std::string&)> showError;  // a message with an OK button
    std::function<void()> runWindow;                    // runs the main window to its end
};

// Starts the sockets layer; if that fails shows kSocketsFailedText and
// returns 1 without opening the window. Otherwise runs the window and
// returns 0.
int RunStartup(const StartupSteps& steps);

}  // namespace vocalith::app

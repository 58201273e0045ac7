#include "app/app_startup.h"

namespace vocalith::app {

bool StartSockets() {
    return true;
}

int RunStartup(const StartupSteps& steps) {
    if (steps.startSockets && !steps.startSockets()) {
        if (steps.showError) steps.showError(kSocketsFailedText);
        return 1;
    }
    if (steps.runWindow) steps.runWindow();
    return 0;
}

}  // namespace vocalith::app

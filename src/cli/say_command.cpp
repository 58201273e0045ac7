// vocalith-tts say: not built yet.
#include "cli/cli_common.h"

namespace vocalith::cli {

int RunSay(int, char**) { return Fail(EXIT_FAILURE_, "say needs the voice and audio engine"); }

}  // namespace vocalith::cli

// vocalith-tts translate: not built yet.
#include "cli/cli_common.h"

namespace vocalith::cli {

int RunTranslate(int, char**) { return Fail(EXIT_FAILURE_, "translate is not built yet"); }

}  // namespace vocalith::cli

#include "audio/mixer.h"

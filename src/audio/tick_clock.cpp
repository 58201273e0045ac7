#include "audio/tick_clock.h"

#pragma once
// Starting pocketsphinx decoders safely from any thread.
#include <pocketsphinx.h>

namespace vocalith::voicebuild {

// A decoder for `config`, or nullptr. The library's log is turned off once
// for the whole process, never per decoder: a decoder told to log to a file
// swaps the process's one log file, under any decoder running meanwhile on
// another thread (the voice is heard on one while a take is aligned on
// another).
ps_decoder_t* StartDecoder(cmd_ln_t* config);

}  // namespace vocalith::voicebuild

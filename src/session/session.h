#pragma once
// A session: what one user's work with the system holds. The audio engine,
// the PhonTable (the current voice) and the work buffer belong to it; the
// window, the command-line tool and any other program each make one and hand
// it to what needs it. Sessions share nothing, so two of them in one program
// never meet. Its tables take about a megabyte: keep it on the heap.
#include "engine/engine.h"
#include "mixer/tick_clock.h"
#include "voice/phon_table.h"
#include "workbuf/work_buffer.h"

namespace vocalith::session {

class Session {
  public:
    // `clock` null: the engine's own steady clock; a given clock must
    // outlive the session.
    explicit Session(mixer::TickClock* clock = nullptr) : engine(clock) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    engine::Engine engine;           // its programFolder is where voices and sounds are looked for
    voice::PhonTable phonTable;      // all zero at start
    workbuf::WorkBuffer workBuffer;  // empty at start
};

}  // namespace vocalith::session

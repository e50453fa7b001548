#include "driver/run_session.h"

#include "textio/stop.h"

namespace qev {

// Placeholder until the session spine is built.
int RunSession(TextIo& io) {
  io.Sink().WriteStopLine();
  return kExitNormal;
}

}  // namespace qev

#pragma once

namespace dm {

// Sounds a 500 Hz tone for 20 ms on the default audio output without waiting for it; does
// nothing when there is no audio output. User-interface thread only.
void beep500Hz20ms();

}  // namespace dm

// Real-time scheduling for the thread that feeds the sound server, asked of the desktop's
// RealtimeKit over the system bus as the desktop's own sound clients do.
#pragma once

namespace lyt {

// Asks for the calling thread to run with real-time priority; true when it was granted. Without a
// RealtimeKit (or when it refuses) the thread keeps its priority and nothing else changes.
bool askRealtimeForThisThread();

} // namespace lyt

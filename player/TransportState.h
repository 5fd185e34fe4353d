// What the transport is doing: the open recording's source, whether it plays, and whether the A-B
// section repeats. The player owns it; the window's handlers read and write it by their own names.
#pragma once

#include "Bass.h"

#include <atomic>
#include <cstdint>

struct TransportState {
  // The open recording's source, 0 while none is open.
  DWORD Channel = 0;
  // The recording is a module (MOD, S3M, XM, IT, MTM): its positions are in the engine's seconds form.
  bool IsMusic = false;
  // 1 while playing, 0 while stopped.
  uint8_t Playing = 0;
  // Not 0 while the A-B section repeats; its points are in Settings.
  int32_t RepeatState = 0;
};

// Set to -1 by the engine's end notice once the last frame has been heard; read and cleared by the
// position timer, and cleared by every jump, since an end noticed before it belongs to a place left.
extern std::atomic<int32_t> EndReached;

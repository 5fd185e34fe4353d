/* libTarvix2: watches every key press and release on the X display and reports each one to a
 * window as a ClientMessage of the atom named by GetHookMsgString().
 *
 * Message: format 32; data[0] = virtual-key code (low 16 bits) | modifier flags << 16 (4 Shift,
 * 8 Ctrl, 16 Alt, as held at that moment, the key's own flag included when it is a modifier);
 * data[1] = 0x80000000 for a release, 0 for a press. Keys still reach their normal destination.
 *
 * SetHook may be called again to aim the messages at another window. All three calls are for one
 * thread; the watching itself runs on a thread of the library's own. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define TARVIX2_EXPORT __attribute__((visibility("default")))

TARVIX2_EXPORT const char *GetHookMsgString(void);
/* window: the X window id. Non-zero when keys are being watched; 0 when no X display with the
 * RECORD extension can be reached. */
TARVIX2_EXPORT int SetHook(unsigned long window);
TARVIX2_EXPORT void FreeHook(void);

#ifdef __cplusplus
}
#endif

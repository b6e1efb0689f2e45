#pragma once

// The exports of libkHook.so. Plain C so that the program (and any other
// caller) finds them by name with dlopen/QLibrary.
//
// While the hook is set, each key-down of a combination in the list is reported
// through the registered callback, also while another program has the focus.
// Reports come from the library's own thread; the callback must only hand them
// on (post an event), never touch the caller's state directly.

#ifdef __cplusplus
extern "C" {
#endif

// key: the Windows virtual-key code of the key.
// flags: the keystroke flags in the layout of a Windows key message: bits 0-15
//   repeat count, 16-23 scan code, 24 extended key, 29 Alt held, 30 the key was
//   already down (auto-repeat), 31 the key is being released.
// modifiers: the modifiers held with the key: 1 Ctrl, 2 Alt, 4 Shift.
typedef void (*KHookReportFn)(void *context, int key, unsigned int flags, int modifiers);

// Connects to the X server and starts watching. Repeated calls without
// RemoveHook change nothing. 1 when the hook works, 0 when there is no X
// display to watch.
__attribute__((visibility("default"))) int SetHook(void);

// Replaces the watched combinations: count entries of key codes and modifier
// bits (entries whose modifier bits are above 7 are cleared ones and never
// fire). Returns how many combinations could not be taken because another
// program owns them, or -1 when the hook is not set.
__attribute__((visibility("default"))) int SetList(const unsigned char *keys,
                                                   const unsigned char *modifiers, int count);

// Stops watching and releases every combination. No report is made after it
// returns.
__attribute__((visibility("default"))) void RemoveHook(void);

// The entries of the last SetList that another program owns: up to capacity of
// their indices into indices. Returns how many there are, -1 when the hook is
// not set.
__attribute__((visibility("default"))) int GetRefusedEntries(int *indices, int capacity);

// Registers the receiver of the reports (null: none).
__attribute__((visibility("default"))) void SetReportCallback(KHookReportFn callback,
                                                              void *context);

#ifdef __cplusplus
}
#endif

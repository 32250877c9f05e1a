#pragma once
// The audio CD reader control ("ACDLib.ACD", file "acd.ocx"): reads audio tracks of the machine's CD
// devices into WAV files. The worker calls its members late-bound by dispatch id; the control reports
// through events, which it raises on the thread that runs the host's event loop (never from inside a
// call, never after AcdDestroy has returned).

#include <cstdint>

extern "C" {

enum AcdEvent : int32_t {
  kAcdActPosition = 1,   // value: position of the running read, in per mille of the track
  kAcdFailure = 2,       // value: error code; text: error message
  kAcdReadComplete = 3,  // the track has been read whole into its file
};

typedef void (*AcdEventHandler)(void* context, int32_t event, int32_t value, const char* text);

// Creates a control; null when it cannot be created.
void* AcdCreate(AcdEventHandler handler, void* context);

// Dispatch ids and their arguments (number: a 16-bit integer argument; text: a file name):
//   2  initialise                      -> result only logged
//   8  number of CD devices            -> count
//   4  select device `number` (from 1) -> 0
//   11 number of tracks on the disc of the selected device -> count (0 without a readable disc)
//   24 a 32-bit value of track `number`, to tell discs apart -> value
//   34 copy mode `number`: 1 plain reading, 2 reading with full checking -> result only logged
//   6  start reading track `number` into the WAV file `text` -> 0 when started; events follow
//   14 stop reading                   -> 0
// Any other id answers 0.
int32_t AcdInvoke(void* control, int32_t dispatchId, int32_t number, const char* text);

// Stops any reading and frees the control.
void AcdDestroy(void* control);
}

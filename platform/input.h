#pragma once
// Key state and language of the machine. There is no keyboard to read here, so key presses come from a
// source that a host or a test sets: a press is seen by one check of that key, now or after a number
// of checks.

namespace platform {

enum class Key { Escape, F4 };

// True when the key is down or was pressed since the last check of it; each press is seen once.
bool keyDownOrPressed(Key key);
// Presses the key for the afterChecks-th check of it from now (1: the next check).
void pressKey(Key key, int afterChecks = 1);
void clearKeys();

// The system's default language id (0x0407 German, 0x0409 English US …): set by setDefaultLanguageId,
// else $WAVEDESK_LANGID (decimal or 0x hex), else "language" in the [system] section of wavedesk.ini,
// else taken from $LC_ALL, $LC_MESSAGES or $LANG, else 0x0409.
int defaultLanguageId();
void setDefaultLanguageId(int id);  // 0 goes back to the sources above

}  // namespace platform

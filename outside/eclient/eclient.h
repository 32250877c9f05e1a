#pragma once
// The engine variable client: named text variables shared by the host's engine and the controls,
// keyed by (type, name, variable), compared without regard to case. A variable never set reads "$%$".
// The engine lives in the host's process, as the controls do.

#include <cstdint>

extern "C" {

int32_t eclientLoad(const char* engineName);
int32_t eclientUnload();
int32_t eclientSetVar(const char* type, const char* name, const char* variable, const char* value);
// Copies the value, NUL-terminated, into the caller's buffer of resultSize bytes (cut to fit) and returns
// the value's whole length, so a caller whose buffer was too small can ask again.
int32_t eclientGetVar(const char* type, const char* name, const char* variable, char* result, int32_t resultSize);
int32_t eclientDebugOn();
int32_t eclientDebugOff();

// The host's side of the same store.
typedef void (*EclientVisitor)(void* context, const char* type, const char* name, const char* variable,
                               const char* value);
// Sets a variable as the host, which does not count as a control's write.
int32_t eclientHostSetVar(const char* type, const char* name, const char* variable, const char* value);
// Every variable, in the order they were first set.
int32_t eclientHostList(EclientVisitor visitor, void* context);
// Every eclientSetVar call since the last call of this function, in call order; returns their number.
int32_t eclientHostTakeWrites(EclientVisitor visitor, void* context);
}

inline constexpr char kEclientNoValue[] = "$%$";

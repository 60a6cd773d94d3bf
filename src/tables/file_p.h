#pragma once
// What the two implementations of the file layer share (not part of the engine's interface).
#include <string>

namespace tables::detail {

// The user's words for a failure given as an errno value (injected faults give one on every
// system; the Windows side maps its own codes to these where one fits).
std::string errnoText(int error);
inline constexpr const char *kQuotaText = "превышена квота диска";

// Counts an operation of a kind; true (with errno set) when a test made this one fail.
bool injectedFault(int kind);

} // namespace tables::detail

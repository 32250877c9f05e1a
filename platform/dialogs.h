#pragma once
// The system's common dialogs (open, save, font, colour) and message boxes. There is no one to ask on
// this machine, so each answer comes from a queue that the host or a test fills; a dialog with no queued
// answer is cancelled, and a message box with none gets its default button.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class DialogKind { Open, Save, Font, Color, Message };

std::optional<DialogKind> dialogKindNamed(std::string_view name);  // "open", "save", "font", "color", "message"

// Queues the answer to the next dialog or message box of this kind: a file path, a font description, a
// colour, or a button ("yes", "no", "cancel", "ok").
void queueDialogAnswer(DialogKind kind, std::string answer);
void clearDialogAnswers();

// Shows a dialog: the queued answer, or nothing when it was cancelled.
std::optional<std::string> showDialog(DialogKind kind, std::string_view title);
// Shows a message box: the queued button, else defaultButton. What was shown is kept for the host.
std::string showMessage(std::string_view text, std::string_view title, std::string_view defaultButton);
// Texts of the message boxes shown so far, oldest first; taking them empties the list.
std::vector<std::string> takeShownMessages();

}  // namespace platform

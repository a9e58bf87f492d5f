// Keeps a program's windows responsive while it works on its one thread.
#pragma once

#include <optional>

// Processes the messages waiting in the thread's queue, at most once every few tens of milliseconds
// (calls in between return at once). Dialog keyboard handling applies to the dialog that owns a message.
void PumpPendingMessages();
// The same without the time gate, for the last update of a step.
void PumpPendingMessagesNow();
// Processes every message waiting in the thread's queue, as above. A quit request is taken out of the queue and its
// exit code returned, for the caller to post again once its own wait is over: posted again at once, it would wake
// that wait over and over.
std::optional<int> DispatchPendingMessages();

// Keeps a program's windows responsive while it works on its one thread.
#pragma once

// Processes the messages waiting in the thread's queue, at most once every few tens of milliseconds
// (calls in between return at once). Dialog keyboard handling applies to the dialog that owns a message.
void PumpPendingMessages();
// The same without the time gate, for the last update of a step.
void PumpPendingMessagesNow();

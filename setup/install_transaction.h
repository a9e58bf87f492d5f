// The installation as one transaction over the journal: begun after the last question and before anything is
// written, committed after the last step, undone on a failure, a Cancel or at the next start after a kill.
#pragma once

#include <string>

// Starts the journal of this installation in the journal folder, which the program holds locked, and makes it the
// change observer.
void BeginInstallTransaction(const std::string& appName);
// What the installation kept aside goes, and the log gets the transaction's cost ("step journal"); nothing when none
// was begun.
void CommitInstallTransaction();
// Every recorded change is undone in reverse order; nothing when none was begun. False when something could not be
// restored yet: a box (caption "Setup") has named it, and the next start finishes it.
bool UndoInstallTransaction();

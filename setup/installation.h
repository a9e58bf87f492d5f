// The installation sequence: the setup program's questions and the order of its steps.
#pragma once

// Runs the whole installation once; ends silently when the user refuses.
void RunInstallation();
// "Welcome!" box; true for OK.
bool ConfirmWelcome();

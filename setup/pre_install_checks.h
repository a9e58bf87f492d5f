// Warnings before anything is installed: the product is already registered, or an IDE is running.
#pragma once

// Off by CheckPrevVersion, or no entry named AppName: true. Otherwise the warning; true for OK.
bool CheckPreviousVersion();
// Off by CheckDelphi, or no IDE running: true. Otherwise the warning; true for OK.
bool CheckRunningIde();
// True only when top-level windows of all three IDE window classes exist (hidden ones count).
bool IsIdeRunning();

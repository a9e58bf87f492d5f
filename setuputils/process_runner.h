// Starting outside programs: the IDE's command-line tools (waited for, output captured) and the batch file.
#pragma once

#include <string>

// Runs the command line with workDir as its current folder and waits for it without a time limit, processing the
// calling thread's messages meanwhile. True exactly when the program started and ended with exit code 0.
// With capture, the program's standard output goes through a temporary file and replaces output, every line
// followed by CR LF. A non-zero exit code puts "Program failed with code (N)" and CR LF in front of output.
// A program that cannot be started gives the system's reason, ". " and "ErrorCode=N" in output.
// Without capture, a successful run leaves output as it was.
bool ExecuteAndCapture(const std::string& commandLine, const std::string& workDir, std::string& output, bool capture);

// Starts the command line hidden, in the caller's current folder; with wait, returns when it has ended.
// Reports nothing.
void RunProgram(const std::string& commandLine, bool wait);

// The user's temporary folder without its trailing backslash (a drive root keeps it).
std::string GetTempDir();

// Creates a new empty, uniquely named file in GetTempDir (Windows uses the prefix's first three characters)
// and returns its full path; "" when the system cannot create one.
std::string MakeTempFileName(const std::string& prefix);

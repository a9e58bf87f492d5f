// The log of a run, written when /LOG is given: each line starts with the seconds since the program started and
// ends with CR LF; text in the ANSI code page. A text with line breaks (a tool's output, a name that holds CR or LF)
// goes on in lines that start with blanks and "| " instead, so that it cannot pass for lines of their own. Every line
// reaches the file as it is written, so a run that is killed or hangs leaves its log up to that moment.
#pragma once

#include <string>

// Creates (or replaces) the log file; raises "Cannot create file %s".
void OpenRunLog(const std::string& path);
void CloseRunLog();
bool RunLogIsOpen();
// Appends one line, continued as above when the text has line breaks; nothing when no log is open.
void LogLine(const std::string& text);
// A log in the TEMP folder named for the program, the product and the time: "orvsetup My Product 20261207-183501.log".
std::string DefaultRunLogPath(const std::string& program, const std::string& appName);
// The seconds since the program started, as the log shows them.
double SecondsSinceStart();
// The performance counter now, and a span of its ticks in microseconds.
long long PerformanceTicks();
long long TicksToMicroseconds(long long ticks);
// Writes "step log <microseconds> us": the time the log's lines have cost so far.
void LogOwnTime();

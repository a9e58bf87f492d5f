// The three text comparisons the system uses; each caller picks the one its contract names.
#pragma once

#include <string>

// Equal ignoring ASCII letter case only ("A"-"Z" against "a"-"z").
bool SameTextAscii(const std::string& a, const std::string& b);

// Equal ignoring case under the user locale's rules (CompareStringA with NORM_IGNORECASE).
bool SameTextLocale(const std::string& a, const std::string& b);

// Ordering ignoring case under the user locale's rules: <0, 0, >0.
int CompareTextLocale(const std::string& a, const std::string& b);

// Locale-aware case conversion (CharUpperBuffA / CharLowerBuffA).
std::string UpperCaseLocale(std::string text);
std::string LowerCaseLocale(std::string text);

// ASCII-only lower case.
std::string LowerCaseAscii(std::string text);

// Registration of design-time packages in the edition's per-user "Known Packages" key.
#pragma once

#include <string>

#include "ide_editions.h"
#include "registry.h"

class StringList;

// Withdraws earlier registrations of the path or of the description, then writes the value named by the path with
// the description as data. Nothing happens for an edition without package support or when its key is missing (it
// is never created); failed deletions and a refused write are ignored.
void RegisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath);
// Deletes the value named by the path and every value whose data equals the description (user-locale lower case).
void UnregisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath);

// Deletes every value of the open key whose data equals the description, case ignored. The names are collected
// first and deleted afterwards, so the enumeration indexes stay valid.
void DeleteValuesWithData(const RegistryKey& key, const std::string& description);
// Adds to the list the name of every value whose data, lowered with the user locale's rules, equals the already
// lowered text; a name the list holds already (case ignored) is not added again. Data is cut at its size and at
// its first NUL, so an unterminated or empty value reads as its plain text.
void CollectValuesWithData(const RegistryKey& key, StringList& names, const std::string& loweredText);

// The setup's own files (archive, configuration, uninstaller beside it, archive library and the program itself),
// deleted after an installation when the configuration asks for it.
#pragma once

#include <string>

// Deletes the setup files where they were found and used, never a path the installation just put in place; the
// running program is left to DeleteSetupProgram.
void DeleteSetupFiles(const std::string& archivePath);
// Hands the running program to the self-deleting batch when DeleteSetupFiles left it to be deleted. The program's
// last act: the batch gives up after a bounded number of tries, which must not run out while a box is still open.
void DeleteSetupProgram();

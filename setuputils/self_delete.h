// Deleting a file that is still in use, the running program's own file included, through a batch file.
#pragma once

#include <string>
#include <vector>

// How the batch file's own writing treats a failure.
enum class BatchWriteErrors {
  Ignore,  // the setup program: nothing is reported and no batch is started
  Raise,   // the uninstaller: "Cannot create file %s" for the batch file
};

// How often the batch tries the delete, about a second apart, before it gives up and removes itself.
constexpr int kDeleteBatchTries = 30;

// Clears the file's read-only attribute and deletes it, then removes the folders, in the order given, each only
// when it is empty. When the file is in use, writes a batch file and starts it hidden without waiting: it keeps
// deleting the file, a hidden one as well, until the file is gone or the tries are used up, then deletes itself
// and removes the folders as above. The batch file is "$delme.bat" next to the file (in the current folder for a
// bare name), replacing any old one; with folders to remove, or when the file's folder has a "%" or "!" in its name
// (cmd would expand them when it starts the batch), it is "$delme<process id>.bat" in GetTempDir instead.
// The batch runs in the caller's current folder, which therefore must not be one of the folders.
// tries exists for tests; the programs keep kDeleteBatchTries.
void DeleteFileViaBatch(const std::string& path, BatchWriteErrors errors,
                        const std::vector<std::string>& foldersToRemove = {}, int tries = kDeleteBatchTries);

// Routed extraction of the product archive: where each entry goes, what is recorded, and the progress display.
// RunInstallation (installation.cpp) shows how the installation sequence drives it: the library loaded, the
// progress dialog up and RarProgressDialog set, the counting pass, then the extracting pass.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "string_list.h"
#include "unrar_library.h"

// Called for each entry with the current header and the destination the walk chose; returns the operation
// (RAR_SKIP or RAR_EXTRACT). What it leaves in destPath and destName is given to the library, except that a
// system file's destName is set by the walk.
using TRarEntryCallback = int (*)(const RARHeaderData& header, std::string& destPath, std::string& destName);

// Unpacked sizes: the total summed by the counting pass, and what the extracting pass has handed out so far.
// Only ever increased; one installation per process.
extern long long RarTotalSize;
extern long long RarDoneSize;
// The counting pass's unpacked sizes by the folder the files go to (destination, system folder, help folder).
extern std::map<std::string, long long> RarSizeByFolder;

// The progress dialog (template 104) that the extracting callback and CountRarArchive update: its status text
// (control 1001) gets WM_SETTEXT, its bar (control 1000) PBM_SETRANGE32 and PBM_SETPOS. Set by the installation
// sequence once the dialog exists and cleared before it is destroyed; null means no display. During a walk the
// entries are shown at the screen's pace (ProgressUpdates): entries that follow each other within a few tens of
// milliseconds are coalesced into the latest, an entry of a percent of the total or more is shown at once, and
// the last entry with the final position is sent when the walk ends.
extern HWND RarProgressDialog;
// Puts the text into the progress dialog's status line; nothing without a dialog.
void ShowProgressStatus(const std::string& text);
// True when a [Help_Files] line names the file: by its name part, or by the whole line (user-locale case ignored).
bool IsListedHelpFile(const std::string& fileName, const StringList& helpFiles);

// Walks the archive: for each entry, chooses its destination (files named in systemFiles go to the Windows
// system folder under their bare name), asks the callback (none: extract), creates and records the folders a
// file needs, hands the entry to the library and records the file's destination. Entries whose path is
// absolute or climbs out with ".." are skipped without a trace. Lists may be null, which switches off what they
// are used for. False when the archive cannot be opened (the callback is then never called), when it turns out
// damaged, cut short or encrypted, when a file could not be created or written, or when files were to go into
// destDir and that folder does not exist afterwards; the archive is closed on every path, and an exception from the
// callback, a list or the change observer (a file in use, Cancel) passes on after closing it. Every file and folder
// is announced to the change observer before the library writes it.
bool ExtractRarArchive(const std::string& archiveName, const std::string& destDir, TRarEntryCallback callback,
                       StringList* files, StringList* folders, const StringList* systemFiles,
                       unsigned int openMode = RAR_OM_EXTRACT);

// Creates a folder and its missing parents; appends each folder it had to create (outermost first, without
// trailing backslash) to the list when one is given, also when the creation failed. Drive roots are never
// created or recorded.
void ForceDirectoriesRecorded(const std::string& path, StringList* folders);

// The counting pass's callback: adds the entry's unpacked size to RarTotalSize; RAR_SKIP.
int CountRarEntry(const RARHeaderData& header, std::string& destPath, std::string& destName);
// The extracting pass's callback: shows the entry's path and advances the bar by its size (through the walk's
// display, see RarProgressDialog; nothing outside a walk), and routes files named in SetupSettings.HelpFiles into
// SetupSettings.HelpDir (when that is not empty); RAR_EXTRACT.
int ExtractRarEntry(const RARHeaderData& header, std::string& destPath, std::string& destName);

// The counting pass (headers only), then the bar's range set from 0 to the scaled RarTotalSize.
void CountRarArchive(const std::string& archiveName, const std::string& destDir);
// A size as a bar position: sizes are scaled down so that RarTotalSize fits the bar's 31-bit range.
int RarProgressPosition(long long size);

// A folder entry: the header's directory flag, or the folder bit of its attributes as its host system means them.
bool IsRarFolderEntry(const RARHeaderData& header);
// False when an archive of the RAR 5.0 format does not close with its end-of-archive block (it was cut short) or
// cannot be read; archives of the older formats, where the block is optional, are not judged (true).
bool RarArchiveEndsWithEndBlock(const std::string& archiveName);
// A path that must not be extracted: absolute, with a drive or stream colon, or with a ".." component.
bool IsUnsafeRarEntryPath(const std::string& entryPath);

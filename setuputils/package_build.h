// Compiling shipped package, unit and project sources with the command-line tools of an installed IDE edition.
#pragma once

#include <string>

#include "ide_editions.h"

// Extension of a compiled package: "" for D2 and C1, ".dpl" for D3, ".bpl" for C3 and every later edition.
std::string PackageFileExt(IdeEdition edition);

// Builds fileName (a full path) with the tool that the edition and the extension call for, taken from the
// edition's "Bin\" folder and run in the file's folder with its standard output captured into toolOutput:
// dcc32 for Delphi editions and for ".pas"/".dpr" under C++Builder, otherwise make (on a C5/C6 ".bpk" or ".bpr",
// make runs on the ".mak" that bpr2mak makes of it, or that the package ships when bpr2mak fails). extraOptions,
// when not empty, follow the tool's own options.
// After a successful run the product (".dcu" for ".pas", the package for ".dpk"/".bpk", ".exe" for ".dpr") is moved
// into outputDir, outputPath names it there, and the by-products next to the source are deleted; other extensions
// (".bpr" included) move nothing and leave outputPath alone.
// False when the last tool failed or could not be started (its reason in toolOutput), and when the product is missing
// or cannot be placed in outputDir (a line naming the file is added to toolOutput); outputPath is then unchanged.
bool BuildPackage(IdeEdition edition, const std::string& fileName, const std::string& outputDir,
                  const std::string& extraOptions, std::string& outputPath, std::string& toolOutput);

// Moves the tool's product, work's base name with newExt, to outputDir + bareName with newExt. The copy stays
// where it is when both are the same file; a file already at the target is replaced; across drives the product
// is copied and the original deleted. On success outputPath := the target. A missing product or a failed move or
// copy returns False, adds a line naming the file to toolOutput and leaves outputPath unchanged.
bool MoveBuildOutput(const std::string& work, const std::string& bareName, const std::string& outputDir,
                     const std::string& newExt, std::string& outputPath, std::string& toolOutput);

// Deletes the by-product work's base name with newExt, when there is one.
void DeleteBuildOutput(const std::string& work, const std::string& newExt);

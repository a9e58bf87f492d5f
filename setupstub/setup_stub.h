// The single-file setup: its data checked before anything else, the setup folder unpacked into a new folder of its
// own under the user's temporary folder, orvsetup.exe run there with this program's command line, the folder removed.
//   <name>.exe [the setup program's arguments and switches]
// Exit code: the setup program's; 1 when the data is damaged or the setup could not be unpacked or started (a box
// says which, none in an unattended run: /SILENT or /VERYSILENT).
#pragma once

int SetupStubMain();

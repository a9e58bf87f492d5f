#!/usr/bin/env python3
"""What the installation report says of the IDE editions, read from a small prefix of registry files and folders."""
import os
import subprocess
import sys
import tempfile
import unittest

REPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "install_report.py")
APP_NAME = "Orv Test"

SYSTEM_REG = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win32

[Software\\Borland\\C++Builder\\6.0] 1796786081
#time=1dd878b6ebaa56c
"Edition"="no RootDir: not installed"

[Software\\Borland\\Delphi\\5.0] 1796786081
#time=1dd878b6ebaa56c
"RootDir"="C:\\Borland\\Delphi5"

[Software\\Borland\\Delphi\\6.0] 1796786081
#time=1dd878b6ebaa56c
"RootDir"="C:\\Borland\\Delphi6\\"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orv Test] 1796786081
#time=1dd878b6ebaa56c
"DelphiVer"="D6"
"InstalledPaths"="C:\\Orv\\units"
'''

USER_REG = r'''WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

#arch=win32

[Software\\Borland\\Delphi\\5.0\\Library] 1796786081
#time=1dd878b6ebaa56c
"Search Path"="$(DELPHI)\\Lib"

[Software\\Borland\\Delphi\\6.0\\Known Packages] 1796786081
#time=1dd878b6ebaa56c
"$(DELPHI)\\Bin\\dclstd60.bpl"="Standard"
"C:\\Orv\\Orv60.bpl"="Orv Components"
"C:\\Orv\\Gone60.bpl"="Orv Gone"

[Software\\Borland\\Delphi\\6.0\\Library] 1796786081
#time=1dd878b6ebaa56c
"Search Path"="C:\\Orv\\units;$(DELPHI)\\Lib;$(DELPHI)\\Bin"
'''


class EditionsReportTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.prefix = self.temp.name
        for name, text in (("system.reg", SYSTEM_REG), ("user.reg", USER_REG)):
            with open(os.path.join(self.prefix, name), "w", encoding="latin-1") as handle:
                handle.write(text)
        # Delphi 6's folders differ in letter case from its RootDir, as Windows allows.
        files = {
            "Borland/Delphi5/HELP/delphi5.cnt": ":Base delphi5.hlp\r\n",
            "Borland/delphi6/Help/DELPHI6.CNT": ":Base delphi6.hlp\r\n:Include orv.cnt\r\n",
            "Borland/delphi6/Bin/tools.log": "dcc32\tC:\\Orv\\source\t\"dcc32.exe\" -b Orv60.dpk\r\n",
            "Orv/Orv60.bpl": "",
        }
        for path, text in files.items():
            unix = os.path.join(self.prefix, "drive_c", *path.split("/"))
            os.makedirs(os.path.dirname(unix), exist_ok=True)
            with open(unix, "w", encoding="latin-1", newline="") as handle:
                handle.write(text)

    def tearDown(self):
        self.temp.cleanup()

    def report(self):
        run = subprocess.run([sys.executable, REPORT, self.prefix, APP_NAME], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout

    def test_each_edition_with_a_root_folder_is_reported(self):
        report = self.report()
        self.assertIn("\n== IDE editions found (a RootDir below HKEY_LOCAL_MACHINE\\Software\\Borland): "
                      "Delphi 5 (D5), Delphi 6 (D6)\n", report)
        self.assertNotIn("C++ Builder 6", report)
        delphi5 = report[report.index("\n== Delphi 5 (D5)"):report.index("\n== Delphi 6 (D6)")]
        self.assertEqual(delphi5, "\n".join([
            "",
            "== Delphi 5 (D5) in C:\\Borland\\Delphi5\\: not in the entry's DelphiVer",
            "  library search path: HKEY_CURRENT_USER\\Software\\Borland\\Delphi\\5.0\\Library",
            "    Search Path =",
            "      $(DELPHI)\\Lib",
            "  Known Packages: HKEY_CURRENT_USER\\Software\\Borland\\Delphi\\5.0\\Known Packages",
            "    (none)",
            "  help contents: C:\\Borland\\Delphi5\\HELP\\delphi5.cnt",
            "    :Base delphi5.hlp",
            "  command-line tools that ran (the fake tools' log)",
            "    (none)",
            "",
        ]))
        delphi6 = report[report.index("\n== Delphi 6 (D6)"):]
        self.assertEqual(delphi6, "\n".join([
            "",
            "== Delphi 6 (D6) in C:\\Borland\\Delphi6\\: the entry's DelphiVer names it",
            "  library search path: HKEY_CURRENT_USER\\Software\\Borland\\Delphi\\6.0\\Library",
            "    Search Path =",
            "      C:\\Orv\\units",
            "      $(DELPHI)\\Lib",
            "      $(DELPHI)\\Bin",
            "  Known Packages: HKEY_CURRENT_USER\\Software\\Borland\\Delphi\\6.0\\Known Packages",
            "    $(DELPHI)\\Bin\\dclstd60.bpl = Standard",
            "    C:\\Orv\\Gone60.bpl          = Orv Gone (file MISSING)",
            "    C:\\Orv\\Orv60.bpl           = Orv Components (file present)",
            "  help contents: C:\\Borland\\Delphi6\\HELP\\delphi6.cnt",
            "    :Base delphi6.hlp",
            "    :Include orv.cnt",
            "  command-line tools that ran (the fake tools' log)",
            "    dcc32 in C:\\Orv\\source:",
            "      \"dcc32.exe\" -b Orv60.dpk",
            "",
        ]))

    def test_no_edition_found(self):
        with open(os.path.join(self.prefix, "system.reg"), "w") as handle:
            handle.write("WINE REGISTRY Version 2\n")
        report = self.report()
        self.assertIn("\n== IDE editions found (a RootDir below HKEY_LOCAL_MACHINE\\Software\\Borland): none\n", report)
        self.assertNotIn("== Delphi", report)


if __name__ == "__main__":
    unittest.main()

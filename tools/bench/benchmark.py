#!/usr/bin/env python3
"""Measures the setup program and the uninstaller against their limits and a peer installer, and prints figures.

Usage: benchmark.py --build BUILD_DIR [--rounds N] [--payloads typical,small] [--work DIR] [--markdown FILE] [--on-disk]

For each payload (tools/bench/make_payload.py) packed as a solid and a non-solid archive (tools/package_product.py),
each round runs, in one scratch copy of the template Wine prefix, with every file the programs make on an ext4 image
of the benchmark's own (ScratchDisk below; --on-disk: on the prefix's own disk):
  1. the limit of an installation: bench_extract.exe, a bare extraction loop over the same unrar.dll and archive,
     then its floors: the same loop in the library's test mode (--test) and the walk over the headers (--list);
  2. the limit of an uninstallation: bench_delete.exe, a bare DeleteFileA loop over the files just extracted;
  3. orvsetup.exe, headless and answered by the driver, with its step timings (its /LOG);
  4. uninstall.exe of that installation, answered by the driver, with its step timings;
  1 and 2 again: the limit of the round is the mean of both bare extractions, and the files of the second are removed
     by the loop that also reads and deletes an install counter before each file (the least a counter costs);
  5. an NSIS installer of the same payload and compression (solid or not), silent, then its uninstaller.
The driver looks at the program's windows every 250 ms (--driver-poll): each look is a few requests to the Wine
server the program shares, and at the driver's default of 10 ms they slowed the uninstaller down by half.
Times are taken inside each process (from the first step of the work to its last) so that Wine's process start is
left out; ratios are taken per round and the medians printed. Peak memory is the largest resident size (VmHWM) of
each program's process, read from /proc while it runs: under Wine the PeakWorkingSetSize of GetProcessMemoryInfo
does not follow the process's real use.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.dirname(HERE)
# Which Windows this machine runs, its Wine and its template prefix: tools/target-windows.sh, which
# tools/benchmark.sh sources, exports them.
TARGET = {name: os.environ.get(name) for name in ("ORV_ARCH", "ORV_TEMPLATE_PREFIX", "ORV_NSIS_TARGET", "WINELOADER",
                                                  "WINESERVER")}

INI = """[Application]
AppName=Bench {kind}
ProductName=Bench
SubProductName=Core
Version=1.0
DelphiVer=D5
DefaultDir=C:\\bench\\setup
CheckPrevVersion=0
CheckDelphi=0
SuccessMessage=0
PromptInstallDir=0
"""

# The peer installer: the same payload with the same kind of compression, the same kind of record (an
# Add/Remove Programs entry) and an uninstaller that deletes the listed files and folders one by one. Its work is
# timed from .onInit to the end of the install section, and from un.onInit to the end of the uninstall section.
NSIS_SCRIPT = """Target {target}
SetCompressor {solid}lzma
Name "Bench {kind}"
OutFile "{out}"
InstallDir "C:\\bench\\nsis"
RequestExecutionLevel user
ShowInstDetails nevershow
ShowUninstDetails nevershow

!macro WriteTime NAME
  System::Call 'kernel32::GetTickCount()i .r1'
  IntOp $1 $1 - $0
  IntOp $1 $1 * 1000
  ReadEnvStr $2 BENCH_PEER_TIMES
  FileOpen $3 $2 a
  FileSeek $3 0 END
  FileWrite $3 "${{NAME}} $1$\\r$\\n"
  FileClose $3
!macroend

Function .onInit
  System::Call 'kernel32::GetTickCount()i .r0'
FunctionEnd

Function un.onInit
  System::Call 'kernel32::GetTickCount()i .r0'
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File /r "{payload}/*"
  WriteUninstaller "$INSTDIR\\uninst.exe"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchNsis" "DisplayName" "Bench"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchNsis" "UninstallString" \\
    "$INSTDIR\\uninst.exe"
  !insertmacro WriteTime installation
SectionEnd

Section "Uninstall"
{deletes}
  DeleteRegKey HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BenchNsis"
  !insertmacro WriteTime uninstallation
SectionEnd
"""


def say(text):
    print(text, flush=True)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def checked(arguments, env=None):
    """Runs a command whose output matters only when it fails; then that output is the only word on why.

    The output goes through a file: a server the command leaves running would hold a pipe open."""
    with tempfile.TemporaryFile() as output:
        code = subprocess.run(arguments, env=env, stdin=subprocess.DEVNULL, stdout=output,
                              stderr=subprocess.STDOUT).returncode
        if code != 0:
            output.seek(0)
            raise RuntimeError("%s failed with exit code %d:\n%s" % (" ".join(arguments), code,
                                                                     output.read().decode("latin-1")))


class ScratchDisk:
    """A file system of the benchmark's own for every file the programs make: ext4 as mkfs.ext4 makes it, with a
    journal, in an image file mounted through a loop device.

    Without a journal (as the disks of some of our machines are), ext4 passes over every inode freed in the last
    30 to 60 seconds when it allocates a new one, reading the inode table for each: after a program deleted 10,000
    files, each file the next one creates costs a scan of them (a millisecond here, in the Wine server's openat).
    Every program of a round follows such a deletion, so the times measured how recently and how much was deleted
    more than what the programs do; no Windows file system, and no ext4 with a journal, works that way."""

    def __init__(self, work):
        self.image = os.path.join(work, "scratch.img")
        self.mount_point = os.path.join(work, "scratch")
        self.mounted = False

    def mount(self):
        """True when mounted; false, with the reason said, when the machine does not allow it."""
        os.makedirs(self.mount_point, exist_ok=True)
        # Left mounted by a benchmark that was killed.
        if os.path.ismount(self.mount_point):
            checked(["umount", self.mount_point])
        with open(self.image, "wb") as handle:
            handle.truncate(2 << 30)
        for arguments in (["mkfs.ext4", "-q", "-F", self.image], ["mount", "-o", "loop", self.image, self.mount_point]):
            try:
                checked(arguments)
            except (OSError, RuntimeError) as error:
                say("the programs' files stay on the prefix's own disk: %s" % error)
                os.remove(self.image)
                return False
        self.mounted = True
        return True

    def unmount(self):
        if self.mounted:
            checked(["umount", self.mount_point])
            os.remove(self.image)
            self.mounted = False


def file_system(path):
    """The type of the file system the path lies on, and for ext4 whether it has a journal."""
    found = subprocess.run(["findmnt", "-n", "-o", "SOURCE,FSTYPE", "--target", path], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL).stdout.decode().split()
    if len(found) < 2:
        return "unknown"
    if found[1] != "ext4":
        return found[1]
    # Each journal the kernel keeps has a folder there, named for its device.
    device = os.path.basename(found[0])
    journals = os.listdir("/proc/fs/jbd2") if os.path.isdir("/proc/fs/jbd2") else []
    has_journal = any(name.rsplit("-", 1)[0] == device for name in journals)
    return "ext4 with a journal" if has_journal else "ext4 without a journal"


class Wine:
    """Runs Windows programs in the scratch prefix, with one Wine server kept up for the whole benchmark."""

    def __init__(self, prefix, files_at=None):
        self.prefix = prefix
        # Where C:\bench, the programs' files, lies: a folder linked in, or the prefix's own disk.
        self.files_at = files_at
        self.env = dict(os.environ, WINEPREFIX=prefix)
        self.env.pop("BENCH_PEER_TIMES", None)

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def start(self):
        if os.path.exists(self.prefix):
            shutil.rmtree(self.prefix)
        say("copying the template Wine prefix")
        shutil.copytree(TARGET["ORV_TEMPLATE_PREFIX"], self.prefix, symlinks=True)
        if self.files_at:
            os.symlink(self.files_at, self.drive_c("bench"))
        checked([TARGET["WINESERVER"], "-p"], env=self.env)
        # An IDE edition for the library path edit: its root and its per-user library settings.
        for arguments in (["HKLM\\Software\\Borland\\Delphi\\5.0", "/v", "RootDir", "/d", "C:\\bench\\ide\\"],
                          ["HKCU\\Software\\Borland\\Delphi\\5.0\\Library", "/v", "Search Path", "/d",
                           "$(DELPHI)\\Lib;$(DELPHI)\\Bin"]):
            code, output, _ = self.run(["reg", "add"] + arguments + ["/f"])
            if code != 0:
                raise RuntimeError("reg add %s failed with exit code %d:\n%s" % (arguments[0], code, output))

    def stop(self):
        subprocess.run([TARGET["WINESERVER"], "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def run(self, arguments, times=None, memory_of=None, timeout=900):
        """Runs one program; returns (exit code, output, peak resident kB of the watched program)."""
        env = dict(self.env)
        if times is not None:
            env["BENCH_PEER_TIMES"] = windows_path(times)
        # Each program starts with no write-back of earlier ones pending.
        os.sync()
        watcher = PeakMemory(memory_of, self.prefix) if memory_of else None
        if watcher:
            watcher.start()
        # Output through a file: Wine's helper processes inherit it and would hold a pipe open.
        with tempfile.TemporaryFile() as output:
            try:
                done = subprocess.run([TARGET["WINELOADER"]] + arguments, env=env, stdout=output, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, timeout=timeout)
            finally:
                if watcher:
                    watcher.stop()
            output.seek(0)
            text = output.read().decode("latin-1")
        return done.returncode, text, watcher.peak_kb if watcher else None


class PeakMemory(threading.Thread):
    """Follows the largest VmHWM of the processes of this prefix whose program has the given file name.

    What a process is gets decided once, except while it is still Wine's loader, which becomes the program only
    after it has started."""

    def __init__(self, program, prefix):
        super().__init__(daemon=True)
        self.program = program.lower()
        self.prefix = prefix.encode()
        self.peak_kb = 0
        self.done = threading.Event()
        self.known = {}

    def matches(self, pid):
        if pid in self.known:
            return self.known[pid]
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as handle:
                first = handle.read().split(b"\0")[0].decode("latin-1").lower()
            name = first.replace("/", "\\").rsplit("\\", 1)[-1]
            if not name or name.startswith("wine"):
                return False
            ours = name == self.program
            if ours:
                with open("/proc/%s/environ" % pid, "rb") as handle:
                    ours = b"WINEPREFIX=" + self.prefix + b"\0" in handle.read()
        except OSError:
            return False
        self.known[pid] = ours
        return ours

    def sample(self):
        for name in os.listdir("/proc"):
            if not name.isdigit() or not self.matches(name):
                continue
            try:
                with open("/proc/%s/status" % name) as handle:
                    for line in handle:
                        if line.startswith("VmHWM:"):
                            self.peak_kb = max(self.peak_kb, int(line.split()[1]))
            except OSError:
                pass

    def run(self):
        while not self.done.wait(0.02):
            self.sample()

    def stop(self):
        self.done.set()
        self.join()


def read_times(path):
    """Step timings in milliseconds, from a program's log ("[ seconds] step <name> <microseconds> us"; the lines that
    continue a text start with blanks and are not read) or the peer's times file ("<name> <microseconds>"); a step that
    appears twice keeps the last."""
    times = {}
    if os.path.exists(path):
        with open(path, encoding="latin-1") as handle:
            for line in handle:
                if line.startswith("["):
                    words = line.split("] ", 1)[-1].split()
                    if len(words) == 4 and words[0] == "step" and words[3] == "us":
                        times[words[1]] = int(words[2]) / 1000.0
                elif not line[:1].isspace():
                    name, _, value = line.strip().rpartition(" ")
                    if name:
                        times[name] = int(value) / 1000.0
    return times


def microseconds(output, figure="microseconds"):
    """The figure a limit program printed, in milliseconds."""
    match = re.search(figure + r" (\d+)", output)
    if not match:
        raise RuntimeError("no timing in: " + output)
    return int(match.group(1)) / 1000.0


def tree(root):
    """Relative paths and sizes of the files below a folder."""
    found = {}
    for folder, _dirs, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = os.path.getsize(path)
    return found


def wait_gone(path, seconds=20):
    """The uninstaller's batch file deletes it after the process has ended."""
    end = time.time() + seconds
    while os.path.exists(path) and time.time() < end:
        time.sleep(0.1)


class Kit:
    def __init__(self, kind, solid, work, build, payload, driver_poll):
        self.kind, self.solid = kind, solid
        self.driver_poll = driver_poll
        self.name = "%s-%s" % (kind, "solid" if solid else "plain")
        self.folder = os.path.join(work, "kits", self.name)
        self.payload = payload
        self.build = build
        self.rounds = []

    def make(self, work):
        ini = os.path.join(work, "%s.ini" % self.kind)
        with open(ini, "w", newline="\r\n") as handle:
            handle.write(INI.format(kind=self.kind))
        options = ["--programs", self.build] + (["--solid"] if self.solid else [])
        checked([sys.executable, os.path.join(TOOLS, "package_product.py"), self.payload, ini, self.folder] + options)
        self.make_nsis()

    def make_nsis(self):
        files = sorted(tree(self.payload))
        folders = sorted({os.path.dirname(path) for path in files if os.path.dirname(path)},
                         key=lambda folder: (-folder.count(os.sep), folder))
        lines = ['  Delete "$INSTDIR\\%s"' % path.replace("/", "\\") for path in files]
        lines.append('  Delete "$INSTDIR\\uninst.exe"')
        # Every folder of the tree, parents after their subfolders (os.walk lists only folders with files).
        every = set()
        for folder in folders:
            while folder:
                every.add(folder)
                folder = os.path.dirname(folder)
        for folder in sorted(every, key=lambda f: (-f.count(os.sep), f)):
            lines.append('  RMDir "$INSTDIR\\%s"' % folder.replace("/", "\\"))
        lines.append('  RMDir "$INSTDIR"')
        script = os.path.join(self.folder, "peer.nsi")
        with open(script, "w") as handle:
            handle.write(NSIS_SCRIPT.format(target=TARGET["ORV_NSIS_TARGET"], solid="/SOLID " if self.solid else "", kind=self.kind,
                                            out=os.path.join(self.folder, "nsis-setup.exe"),
                                            payload=self.payload, deletes="\n".join(lines)))
        checked(["makensis", "-V1", script])

    def driven(self, wine, work, logs, figures, name, script_text, arguments, steps):
        """Runs one of the programs under the driver with its step timings; adds its steps and peak memory."""
        script = os.path.join(work, name + ".script")
        with open(script, "w") as handle:
            handle.write(script_text)
        times = os.path.join(logs, name + ".log")
        record = os.path.join(logs, name + "-record.txt")
        program = os.path.basename(arguments[arguments.index("--") + 1].replace("\\", "/"))
        driver = os.path.join(self.build, "tools", "driver", "orvdriver.exe")
        # The program's log holds its step timings.
        code, _, peak = wine.run([driver, "--script", windows_path(script), "--timeout", "900", "--poll",
                                  str(self.driver_poll), "--out", windows_path(record)] + arguments
                                 + ["/LOG=" + windows_path(times)], memory_of=program)
        if code != 0:
            raise RuntimeError("the %s run did not go as scripted, see %s" % (name, record))
        timings = read_times(times)
        for step in steps:
            figures[name + " " + step] = timings[step]
        figures[name + " memory"] = peak

    def round(self, wine, work, index, check):
        figures = {}
        logs = os.path.join(work, "logs", "%s-%d" % (self.name, index))
        os.makedirs(logs, exist_ok=True)
        unrar = windows_path(os.path.join(self.folder, "unrar.dll"))
        archive = windows_path(os.path.join(self.folder, "Data.rar"))

        # 1, 2: the limits.
        limit_dir = wine.drive_c("bench", "limit")
        shutil.rmtree(limit_dir, ignore_errors=True)
        os.makedirs(limit_dir)
        extract = os.path.join(self.build, "tools", "bench", "bench_extract.exe")
        code, output, peak = wine.run([extract, unrar, archive, "C:\\bench\\limit\\"], memory_of="bench_extract.exe")
        if code != 0:
            raise RuntimeError("bench_extract failed: " + output)
        figures["limit install"] = microseconds(output)
        figures["limit install memory"] = peak
        # The floor: the library's test mode unpacks and checks every entry and writes nothing.
        code, output, _ = wine.run([extract, "--test", unrar, archive, "C:\\bench\\limit\\"])
        if code != 0:
            raise RuntimeError("bench_extract --test failed: " + output)
        figures["floor install"] = microseconds(output)
        # The floor under the counting pass: the library's walk over the headers, the library already loaded.
        code, output, _ = wine.run([extract, "--list", unrar, archive, "C:\\bench\\limit\\"])
        if code != 0:
            raise RuntimeError("bench_extract --list failed: " + output)
        figures["list walk"] = microseconds(output, "walk")
        expected = tree(limit_dir)
        listing = os.path.join(logs, "files.txt")
        with open(listing, "w", newline="\r\n") as handle:
            for path in sorted(expected):
                handle.write("C:\\bench\\limit\\%s\n" % path.replace("/", "\\"))
        delete = os.path.join(self.build, "tools", "bench", "bench_delete.exe")
        code, output, peak = wine.run([delete, windows_path(listing)], memory_of="bench_delete.exe")
        if code != 0:
            raise RuntimeError("bench_delete failed: " + output)
        figures["limit uninstall"] = microseconds(output)
        figures["limit uninstall memory"] = peak
        shutil.rmtree(limit_dir, ignore_errors=True)

        # 3, 4: the setup program and its uninstaller, answered by the driver.
        setup_dir = wine.drive_c("bench", "setup")
        shutil.rmtree(setup_dir, ignore_errors=True)
        self.driven(wine, work, logs, figures, "setup", "caption Welcome!\npress OK\n",
                    ["--folder", windows_path(self.folder), "--",
                     windows_path(os.path.join(self.folder, "orvsetup.exe"))],
                    ("installation", "count", "space", "extract", "product", "records", "ide", "journal", "log"))
        if check and tree(setup_dir) != expected:
            raise RuntimeError("the setup program did not install what the archive holds")
        self.driven(wine, work, logs, figures, "uninstall", "caption Uninstall\npress Yes\n",
                    ["--", "C:\\bench\\setup\\uninstall.exe", "Bench " + self.kind],
                    ("uninstallation", "files", "product", "folders", "ide", "entry"))
        wait_gone(setup_dir)
        if check and os.path.exists(setup_dir):
            raise RuntimeError("the uninstaller left " + setup_dir)
        shutil.rmtree(setup_dir, ignore_errors=True)

        # 1 again, after the programs: the limit of the round is the mean of both bare extractions, so that the
        # machine getting slower or faster during the round does not go to either side. The files it extracted are
        # then removed with a counter read and deleted per file.
        os.makedirs(limit_dir)
        code, output, _ = wine.run([extract, unrar, archive, "C:\\bench\\limit\\"])
        if code != 0:
            raise RuntimeError("bench_extract failed: " + output)
        figures["limit install"] = (figures["limit install"] + microseconds(output)) / 2
        code, output, _ = wine.run([delete, "--counters", windows_path(listing)])
        if code != 0:
            raise RuntimeError("bench_delete --counters failed: " + output)
        figures["limit uninstall counters"] = microseconds(output)
        shutil.rmtree(limit_dir, ignore_errors=True)

        # 5: the peer.
        nsis_dir = wine.drive_c("bench", "nsis")
        shutil.rmtree(nsis_dir, ignore_errors=True)
        times = os.path.join(logs, "nsis-times.txt")
        code, output, peak = wine.run([windows_path(os.path.join(self.folder, "nsis-setup.exe")), "/S",
                                       "/D=C:\\bench\\nsis"], times=times, memory_of="nsis-setup.exe")
        figures["nsis installation"] = read_times(times)["installation"]
        figures["nsis install memory"] = peak
        if check and tree(nsis_dir).keys() - {"uninst.exe"} != tree(self.payload).keys():
            raise RuntimeError("the NSIS installer did not install the payload")
        code, output, peak = wine.run(["C:\\bench\\nsis\\uninst.exe", "/S", "_?=C:\\bench\\nsis"], times=times,
                                      memory_of="uninst.exe")
        figures["nsis uninstallation"] = read_times(times)["uninstallation"]
        figures["nsis uninstall memory"] = peak
        shutil.rmtree(nsis_dir, ignore_errors=True)
        self.rounds.append(figures)
        return figures

    def median(self, function):
        return statistics.median(function(figures) for figures in self.rounds)


def ms(value):
    return "%.0f ms" % value


def report(kits, rounds, files_on):
    lines = ["Medians of %d rounds; ratios are taken per round, then their median. Files on %s." % (rounds, files_on),
             ""]
    lines.append("| Payload | Figure | Measured | Goal | Result |")
    lines.append("| --- | --- | --- | --- | --- |")

    def row(kit, figure, measured, goal="", result=""):
        lines.append("| %s | %s | %s | %s | %s |" % (kit.name, figure, measured, goal, result))

    for kit in kits:
        m = kit.median
        install = m(lambda f: f["setup installation"] / f["limit install"])
        counting = m(lambda f: 100.0 * f["setup count"] / f["setup extract"])
        removal = m(lambda f: f["uninstall uninstallation"] / f["limit uninstall"])
        row(kit, "limit: bare extraction loop", ms(m(lambda f: f["limit install"])))
        row(kit, "floor: the library's test mode alone (nothing written)", "%s (%.2fx limit)" % (
            ms(m(lambda f: f["floor install"])), m(lambda f: f["floor install"] / f["limit install"])))
        # With the files written beside the unpacking, 10,000 small files must go well below the bare loop.
        install_goal = 0.75 if kit.kind == "small" else 1.10
        row(kit, "installation (orvsetup)", ms(m(lambda f: f["setup installation"])), "<= %.2fx limit" % install_goal,
            "%.2fx %s" % (install, "met" if install <= install_goal else "NOT met"))
        row(kit, "- without the counters step", "%.2fx limit" % m(
            lambda f: (f["setup installation"] - f["setup records"]) / f["limit install"]))
        row(kit, "- counting pass", "%s (%.1f%% of extracting; the library's list walk alone: %s)" % (
            ms(m(lambda f: f["setup count"])), counting, ms(m(lambda f: f["list walk"]))), "< 2%",
            "met" if counting < 2 else "NOT met")
        row(kit, "- extracting pass", "%s (%.2fx limit)" % (ms(m(lambda f: f["setup extract"])),
                                                              m(lambda f: f["setup extract"] / f["limit install"])))
        # The transaction: the free-space check, every journal record with its file moved aside, start and commit.
        transaction = m(lambda f: 100.0 * (f["setup space"] + f["setup journal"]) / f["setup installation"])
        transaction_goal = 5 if kit.kind == "small" else 3
        row(kit, "- transaction (free space, journal, commit)", "%s (%.1f%% of the installation)" % (
            ms(m(lambda f: f["setup space"] + f["setup journal"])), transaction), "<= %d%%" % transaction_goal,
            "met" if transaction <= transaction_goal else "NOT met")
        logging = m(lambda f: 100.0 * f["setup log"] / f["setup installation"])
        row(kit, "- writing the log (/LOG)", "%s (%.1f%% of the installation)" % (ms(m(lambda f: f["setup log"])),
                                                                              logging), "<= 3%",
            "met" if logging <= 3 else "NOT met")
        row(kit, "- product record + include files", ms(m(lambda f: f["setup product"])))
        row(kit, "- Add/Remove Programs values + install counters", ms(m(lambda f: f["setup records"])))
        row(kit, "- IDE edits (packages, library path, help)", ms(m(lambda f: f["setup ide"])))
        against_peer = m(lambda f: f["setup installation"] / f["nsis installation"])
        row(kit, "peer: NSIS installer (silent)", "%s (orvsetup %.2fx of it)" % (
            ms(m(lambda f: f["nsis installation"])), against_peer), "orvsetup <= 0.80x",
            "met" if against_peer <= 0.80 else "NOT met")
        row(kit, "limit: bare DeleteFileA loop", ms(m(lambda f: f["limit uninstall"])))
        row(kit, "uninstallation (uninstall.exe)", ms(m(lambda f: f["uninstall uninstallation"])),
            "<= 1.5x limit", "%.2fx %s" % (removal, "met" if removal <= 1.5 else "NOT met"))
        row(kit, "- against the loop that also reads and deletes a counter per file", "loop %s: %.2fx" % (
            ms(m(lambda f: f["limit uninstall counters"])),
            m(lambda f: f["uninstall uninstallation"] / f["limit uninstall counters"])))
        row(kit, "- file step", "%s (%.2fx limit)" % (ms(m(lambda f: f["uninstall files"])),
                                                      m(lambda f: f["uninstall files"] / f["limit uninstall"])))
        row(kit, "- product record, folders, IDE, entry and self-deletion",
            ms(m(lambda f: f["uninstall product"] + f["uninstall folders"] + f["uninstall ide"] +
                 f["uninstall entry"])))
        row(kit, "peer: NSIS uninstaller (silent)", "%s (uninstall.exe %.2fx of it)" % (
            ms(m(lambda f: f["nsis uninstallation"])),
            m(lambda f: f["uninstall uninstallation"] / f["nsis uninstallation"])))
        row(kit, "peak memory orvsetup / uninstall.exe", "%.1f / %.1f MB" % (
            max(f["setup memory"] for f in kit.rounds) / 1024.0,
            max(f["uninstall memory"] for f in kit.rounds) / 1024.0))
        row(kit, "peak memory limits (extract / delete)", "%.1f / %.1f MB" % (
            max(f["limit install memory"] for f in kit.rounds) / 1024.0,
            max(f["limit uninstall memory"] for f in kit.rounds) / 1024.0))
        row(kit, "peak memory NSIS installer / uninstaller", "%.1f / %.1f MB" % (
            max(f["nsis install memory"] for f in kit.rounds) / 1024.0,
            max(f["nsis uninstall memory"] for f in kit.rounds) / 1024.0))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--payloads", default="typical,small")
    parser.add_argument("--work")
    parser.add_argument("--markdown")
    parser.add_argument("--on-disk", action="store_true",
                        help="the programs' files on the prefix's own disk, not on a file system of their own")
    parser.add_argument("--driver-poll", type=int, default=250,
                        help="milliseconds between the driver's looks at the program's windows (default 250)")
    args = parser.parse_args()
    missing = [name for name, value in TARGET.items() if not value]
    if missing:
        sys.exit("benchmark.py: %s not set; run it through tools/benchmark.sh" % ", ".join(missing))
    say("Windows of this machine: %s (NSIS target %s)" % (TARGET["ORV_ARCH"], TARGET["ORV_NSIS_TARGET"]))
    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "benchmark"))
    os.makedirs(work, exist_ok=True)
    shutil.rmtree(os.path.join(work, "logs"), ignore_errors=True)
    started = time.time()

    kits = []
    for kind in args.payloads.split(","):
        payload = os.path.join(work, "payloads", kind)
        say(subprocess.run([sys.executable, os.path.join(HERE, "make_payload.py"), kind, payload], check=True,
                           stdout=subprocess.PIPE).stdout.decode().strip())
        for solid in (True, False):
            kit = Kit(kind, solid, work, build, payload, args.driver_poll)
            say("packaging " + kit.name)
            kit.make(work)
            kits.append(kit)

    scratch = ScratchDisk(work)
    wine = Wine(os.path.join(work, "wineprefix"),
                scratch.mount_point if not args.on_disk and scratch.mount() else None)
    files_on = "%s (%s)" % ("a file system of their own" if wine.files_at else "the prefix's own disk",
                            file_system(wine.files_at or work))
    say("the programs' files are on " + files_on)
    try:
        wine.start()
        for index in range(args.rounds):
            for kit in kits:
                figures = kit.round(wine, work, index, check=index == 0)
                say("round %d %s: limit %s, setup %s, delete loop %s, uninstall %s, NSIS %s / %s" % (
                    index + 1, kit.name, ms(figures["limit install"]), ms(figures["setup installation"]),
                    ms(figures["limit uninstall"]), ms(figures["uninstall uninstallation"]),
                    ms(figures["nsis installation"]), ms(figures["nsis uninstallation"])))
    finally:
        wine.stop()
        scratch.unmount()
    table = report(kits, args.rounds, files_on)
    say("")
    say(table)
    say("")
    say("benchmark took %.0f s" % (time.time() - started))
    if args.markdown:
        with open(args.markdown, "w") as handle:
            handle.write(table + "\n")


if __name__ == "__main__":
    main()

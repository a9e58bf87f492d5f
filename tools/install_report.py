#!/usr/bin/env python3
"""Reports what an installation left in a Wine prefix: the files, the Add/Remove Programs entry, the install
counters and the product record, the Start menu shortcuts, and for each IDE edition found in the prefix its library
path, Known Packages, help contents and the IDE tools that ran. Reads the prefix's registry files and folders
directly, so the prefix's Wine server must have ended (it saves the registry when it does).

Usage: install_report.py PREFIX APP_NAME [--record FILE]
  --record      the driver's record of the run, shown first
"""
import argparse
import os
import struct
import sys

UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# The IDE editions as the setup program has them: code, name, key below Software\Borland (its RootDir in
# HKEY_LOCAL_MACHINE, its Library and Known Packages in HKEY_CURRENT_USER), help contents file in its HELP folder, and
# whether it has Known Packages.
EDITIONS = [
    ("D2", "Delphi 2", "Delphi\\2.0", "delphi.cnt", False),
    ("C1", "C++ Builder", "C++Builder\\1.0", "bcb.cnt", False),
    ("D3", "Delphi 3", "Delphi\\3.0", "delphi3.cnt", True),
    ("C3", "C++ Builder 3", "C++Builder\\3.0", "bcb3.cnt", True),
    ("D4", "Delphi 4", "Delphi\\4.0", "delphi4.cnt", True),
    ("C4", "C++ Builder 4", "C++Builder\\4.0", "bcb4.cnt", True),
    ("D5", "Delphi 5", "Delphi\\5.0", "delphi5.cnt", True),
    ("C5", "C++ Builder 5", "C++Builder\\5.0", "bcb5.cnt", True),
    ("D6", "Delphi 6", "Delphi\\6.0", "delphi6.cnt", True),
    ("C6", "C++ Builder 6", "C++Builder\\6.0", "bcb6.cnt", True),
]
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b", "f": "\f", "v": "\v", "0": "\0"}


def unescape(text, start, end_char):
    """Reads a Wine registry string from text[start:] up to an unescaped end_char; returns (string, index after)."""
    out = []
    i = start
    while i < len(text) and text[i] != end_char:
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                j = i + 2
                while j < len(text) and j < i + 6 and text[j] in "0123456789abcdefABCDEF":
                    j += 1
                out.append(chr(int(text[i + 2:j], 16)) if j > i + 2 else "x")
                i = j
                continue
            out.append(ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out), i + 1


def read_registry(path):
    """The keys of a Wine registry file: {lower-case key path: (key path, {value name: (kind, data)})}.
    Kinds: "sz", "expand_sz", "multi_sz", "dword", "hex"."""
    keys = {}
    values = None
    pending = ""
    with open(path, encoding="latin-1") as handle:
        for raw in handle:
            line = pending + raw.rstrip("\n")
            pending = ""
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1].rstrip() if "=hex" in line else ""
                if pending:
                    continue
            if line.startswith("["):
                name, _ = unescape(line, 1, "]")
                values = {}
                keys[name.lower()] = (name, values)
            elif values is not None and (line.startswith('"') or line.startswith("@=")):
                if line.startswith("@="):
                    name, rest = "", 1
                else:
                    name, rest = unescape(line, 1, '"')
                data = line[rest + 1:]
                if data.startswith('"'):
                    values[name] = ("sz", unescape(data, 1, '"')[0])
                elif data.startswith("str(2):"):
                    values[name] = ("expand_sz", unescape(data, 8, '"')[0])
                elif data.startswith("str(7):"):
                    values[name] = ("multi_sz", unescape(data, 8, '"')[0])
                elif data.startswith("dword:"):
                    values[name] = ("dword", int(data[6:], 16))
                else:
                    values[name] = ("hex", data)
    return keys


def key_values(keys, path):
    found = keys.get(path.lower())
    return found[1] if found else None


def windows_to_unix(prefix, path):
    """The Unix path of a C: path in the prefix, letter case resolved as Wine does; None outside C:."""
    if len(path) < 2 or path[1] != ":" or path[0].lower() != "c":
        return None
    current = os.path.join(prefix, "drive_c")
    for part in [p for p in path[2:].split("\\") if p]:
        try:
            match = next((e for e in os.listdir(current) if e.lower() == part.lower()), part)
        except OSError:
            match = part
        current = os.path.join(current, match)
    return current


def read_shell_link(path):
    """(target, working folder, description) of a shortcut file written by the shell's link object."""
    with open(path, "rb") as handle:
        data = handle.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    position = 0x4C
    target = ""
    if flags & 0x01:  # item list
        position += 2 + struct.unpack_from("<H", data, position)[0]
    if flags & 0x02:  # link info with the local path
        size, _header, info_flags, _volume, local_path = struct.unpack_from("<IIIII", data, position)
        if info_flags & 0x01:
            end = data.index(b"\0", position + local_path)
            target = data[position + local_path:end].decode("cp1252")
        position += size
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, "description"), (0x08, "relative"), (0x10, "folder"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, position)[0]
            position += 2
            width = 2 if unicode else 1
            raw = data[position:position + count * width]
            position += count * width
            strings[name] = raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")
    return target, strings.get("folder", ""), strings.get("description", "")


def show_values(values, indent="  "):
    width = max((len(name) for name in values), default=0)
    for name in sorted(values, key=str.lower):
        kind, data = values[name]
        label = (name or "(default)").ljust(width)
        if kind == "dword":
            print("%s%s = %d (REG_DWORD)" % (indent, label, data))
            continue
        lines = data.split("\r\n") if isinstance(data, str) else [str(data)]
        if len(lines) > 1 and lines[-1] == "":
            lines = lines[:-1]
        suffix = "" if kind == "sz" else "  (%s)" % kind.upper()
        if not lines or lines == [""]:
            print("%s%s = \"\"%s" % (indent, label, suffix))
            continue
        print("%s%s = %s%s" % (indent, label, lines[0], suffix))
        for more in lines[1:]:
            print("%s%s   %s" % (indent, " " * width, more))


def show_tree(prefix, windows_folder):
    folder = windows_to_unix(prefix, windows_folder)
    if not folder or not os.path.isdir(folder):
        print("  (missing) %s" % windows_folder)
        return
    print("  %s" % windows_folder)
    for root, dirs, files in os.walk(folder):
        dirs.sort(key=str.lower)
        relative = os.path.relpath(root, folder)
        depth = 0 if relative == "." else relative.count(os.sep) + 1
        if relative != ".":
            print("  %s%s\\" % ("  " * depth, os.path.basename(root)))
        for name in sorted(files, key=str.lower):
            size = os.path.getsize(os.path.join(root, name))
            print("  %s%s (%d bytes)" % ("  " * (depth + 1), name, size))


def heading(text):
    print("\n== %s" % text)


def show_text_file(prefix, windows_path, indent):
    """The lines of a text file in the prefix; False when it is not there."""
    unix = windows_to_unix(prefix, windows_path)
    if not unix or not os.path.isfile(unix):
        return False
    with open(unix, encoding="latin-1") as handle:
        for line in handle.read().splitlines():
            print(indent + line)
    return True


def found_editions(machine):
    """(edition, root folder with a final backslash) of each edition with a RootDir, in the setup program's order."""
    found = []
    for edition in EDITIONS:
        values = key_values(machine, "Software\\Borland\\" + edition[2]) or {}
        kind, root = values.get("RootDir", ("sz", ""))
        if kind in ("sz", "expand_sz") and root:
            found.append((edition, root.rstrip("\\") + "\\"))
    return found


def report_edition(prefix, user, installed_codes, edition, root):
    code, name, key, help_name, has_known_packages = edition
    named = "the entry's DelphiVer names it" if code in installed_codes else "not in the entry's DelphiVer"
    heading("%s (%s) in %s: %s" % (name, code, root, named))
    user_key = "Software\\Borland\\" + key
    print("  library search path: HKEY_CURRENT_USER\\%s\\Library" % user_key)
    library = key_values(user, user_key + "\\Library") or {}
    search = {value: data for value, (_kind, data) in library.items() if "search" in value.lower()}
    if not search:
        print("    (none)")
    for value in sorted(search, key=str.lower):
        print("    %s =" % value)
        for folder in search[value].split(";"):
            if folder:
                print("      %s" % folder)

    if has_known_packages:
        print("  Known Packages: HKEY_CURRENT_USER\\%s\\Known Packages" % user_key)
        packages = key_values(user, user_key + "\\Known Packages") or {}
        if not packages:
            print("    (none)")
        width = max((len(package) for package in packages), default=0)
        for package in sorted(packages, key=str.lower):
            unix = windows_to_unix(prefix, package)
            state = "" if unix is None else (" (file present)" if os.path.isfile(unix) else " (file MISSING)")
            print("    %s = %s%s" % (package.ljust(width), packages[package][1], state))
    else:
        print("  Known Packages: %s has none" % name)

    help_file = root + "HELP\\" + help_name
    print("  help contents: " + help_file)
    if not show_text_file(prefix, help_file, "    "):
        print("    (missing)")

    print("  command-line tools that ran (the fake tools' log)")
    unix = windows_to_unix(prefix, root + "Bin\\tools.log")
    if unix and os.path.isfile(unix):
        with open(unix, encoding="latin-1") as handle:
            for line in handle.read().splitlines():
                tool, folder, command = (line.split("\t") + ["", ""])[:3]
                print("    %s in %s:\n      %s" % (tool, folder, command))
    else:
        print("    (none)")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("prefix")
    parser.add_argument("app_name")
    parser.add_argument("--record")
    args = parser.parse_args()

    machine = read_registry(os.path.join(args.prefix, "system.reg"))
    user = read_registry(os.path.join(args.prefix, "user.reg"))

    if args.record:
        heading("What the user saw (the driver's record: every box and dialog in order, and the answer given)")
        with open(args.record, encoding="latin-1") as handle:
            for line in handle.read().splitlines():
                print("  " + line)

    entry_path = UNINSTALL_KEY + "\\" + args.app_name
    entry = key_values(machine, entry_path)
    heading("Add/Remove Programs entry: HKEY_LOCAL_MACHINE\\" + entry_path)
    if entry is None:
        print("  (none: nothing was installed)")
        entry = {}
    else:
        show_values(entry)

    def entry_lines(name):
        data = entry.get(name, ("sz", ""))[1]
        return [line for line in data.split("\r\n") if line]

    heading("Installed folders and files")
    folders = entry_lines("Folders")
    if folders:
        show_tree(args.prefix, folders[0])
    outside = [f for f in entry_lines("Files") if not folders or not f.lower().startswith(folders[0].lower() + "\\")]
    if outside:
        print("  elsewhere:")
        for path in outside:
            unix = windows_to_unix(args.prefix, path)
            state = "present" if unix and os.path.isfile(unix) else "MISSING"
            print("    %s (%s)" % (path, state))

    heading("Install counters: HKEY_CURRENT_USER\\Software\\Quillmark\\InstalledFiles")
    counters = key_values(user, "Software\\Quillmark\\InstalledFiles")
    show_values(counters or {})
    products = {name: vals for lower, (name, vals) in user.items()
                if lower.startswith("software\\quillmark\\installedproducts\\")}
    for name in sorted(products):
        heading("Installed product: HKEY_CURRENT_USER\\" + name)
        show_values(products[name])

    heading("Start menu shortcuts")
    links = [f for f in entry_lines("Files") if f.lower().endswith(".lnk")]
    if not links:
        print("  (none)")
    for link in links:
        unix = windows_to_unix(args.prefix, link)
        if not unix or not os.path.isfile(unix):
            print("  %s: MISSING" % link)
            continue
        target, folder, description = read_shell_link(unix)
        print("  %s" % link)
        print("    target %s, working folder %s, description \"%s\"" % (target, folder, description))

    editions = found_editions(machine)
    heading("IDE editions found (a RootDir below HKEY_LOCAL_MACHINE\\Software\\Borland): " +
            (", ".join("%s (%s)" % (edition[1], edition[0]) for edition, _root in editions) or "none"))
    installed_codes = {code.strip().upper() for code in entry.get("DelphiVer", ("sz", ""))[1].split(";")}
    for edition, root in editions:
        report_edition(args.prefix, user, installed_codes, edition, root)
    return 0


if __name__ == "__main__":
    sys.exit(main())

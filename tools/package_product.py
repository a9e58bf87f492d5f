#!/usr/bin/env python3
"""Makes the folder a vendor ships: OrvSetup.ini, Data.rar (the payload with uninstall.exe at its root), unrar.dll
and the setup program. Warns about configurations that would silently do nothing; warnings never stop it.

Usage: package_product.py PAYLOAD_DIR CONFIG_INI OUTPUT_DIR [--programs DIR] [--unrar-dll FILE] [--solid]
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys

CODES = ["D2", "C1", "D3", "C3", "D4", "C4", "D5", "C5", "D6", "C6"]
LIST_SECTIONS = ["System_Files", "Help_Files", "Packages", "Build_Packages", "Links"]


def read_lines(data):
    text = data.decode("latin-1")
    return text.replace("\r\n", "\n").replace("\r", "\n").split("\n")


def section_lines(lines, name):
    """The lines of the first section of that name, as the setup program reads them."""
    header = "[" + name + "]"
    for index, line in enumerate(lines):
        if line.lower() == header.lower():
            result = []
            for entry in lines[index + 1:]:
                entry = entry.strip(" \t\r\n\x00\x01\x02\x03\x04\x05\x06\x07\x08\x0b\x0c")
                if not entry:
                    continue
                if entry.startswith("["):
                    break
                result.append(entry)
            return result
    return []


def application_value(lines, key):
    """Value of a key of [Application], or None (sections and keys ignore case)."""
    in_section = False
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("["):
            in_section = stripped.lower() == "[application]"
            continue
        if in_section and "=" in stripped:
            name, value = stripped.split("=", 1)
            if name.strip().lower() == key.lower():
                return value.strip()
    return None


# What Add/Remove Programs shows of the two optional keys.
PUBLISHER_SHOWN = 64
URL_SHOWN = 260


def payload_names(payload):
    names = set()
    for _root, _dirs, files in os.walk(payload):
        for name in files:
            names.add(name.lower())
    return names


def check_configuration(data, payload):
    warnings = []
    if data.startswith(b"\xef\xbb\xbf"):
        warnings.append("the file starts with a UTF-8 byte order mark: Windows' profile reader does not see "
                        "[Application] behind it, so every key takes its default")
    lines = read_lines(data)
    present = payload_names(payload)
    for section in LIST_SECTIONS:
        for line in section_lines(lines, section):
            name = line.split("=", 1)[0] if "=" in line else line
            if name != name.rstrip():
                warnings.append("[%s] '%s': the name ends with a blank, so it matches no file" % (section, line))
    for section in ("Packages", "Build_Packages"):
        for line in section_lines(lines, section):
            name = line.split("=", 1)[0] if "=" in line else ""
            if name and name.lower() not in present:
                warnings.append("[%s] '%s': no file of that name in the payload; the line does nothing" %
                                (section, line))
    for line in section_lines(lines, "Help_Files"):
        name = line.split("=", 1)[0] if "=" in line else line
        if "=" not in line or not name.lower().endswith(".hlp"):
            warnings.append("[Help_Files] '%s': not a '.hlp' file given as name=title; it is routed to the IDE's "
                            "help folder but not registered" % line)
    root_files = {name.lower() for name in os.listdir(payload) if os.path.isfile(os.path.join(payload, name))}
    for line in section_lines(lines, "Links"):
        target = line.split("=", 1)[1].strip() if "=" in line else ""
        file_name = target.replace(":", "\\").split("\\")[-1]
        if file_name.lower() not in root_files:
            warnings.append("[Links] '%s': a shortcut points to '%s' in the destination folder itself (a folder part "
                            "is dropped), and the payload has no such file at its root" % (line, file_name))
    sub_products = application_value(lines, "SubProductName") or ""
    for piece in sub_products.replace(";", "\n").split("\n"):
        if piece.lower() in ("version", "foldername"):
            warnings.append("SubProductName '%s' is reserved and is not recorded" % piece)
    # Add/Remove Programs shows the publisher in a column and the address as a link: longer ones are cut there.
    for key, limit in (("Publisher", PUBLISHER_SHOWN), ("URL", URL_SHOWN)):
        value = application_value(lines, key) or ""
        if len(value) > limit:
            warnings.append("%s is %d characters long: Add/Remove Programs shows %d" % (key, len(value), limit))
    code = application_value(lines, "DelphiVer")
    if code is not None and code.strip().upper() not in CODES:
        warnings.append("DelphiVer '%s' is not one of %s: Delphi 5 is used" % (code, ", ".join(CODES)))
    return warnings


def pe_machine(path):
    """The machine field of a PE file's header: 0x14c for 32-bit x86, 0x8664 for x86_64."""
    with open(path, "rb") as handle:
        head = handle.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0] if len(head) >= 0x40 and head[:2] == b"MZ" else None
    if offset is None or head[offset:offset + 4] != b"PE\0\0":
        sys.exit("error: %s is not a Windows program or library" % path)
    return struct.unpack_from("<H", head, offset + 4)[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("payload")
    parser.add_argument("config")
    parser.add_argument("output")
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--programs", default=os.path.join(here, "..", "dist"))
    cache = os.environ.get("ORV_CACHE", os.path.expanduser("~/.cache/orvsetup"))
    parser.add_argument("--unrar-dll", default=os.environ.get("ORV_UNRAR_DLL", os.path.join(cache, "win32", "unrar.dll")))
    parser.add_argument("--solid", action="store_true")
    args = parser.parse_args()
    setup_program = os.path.join(args.programs, "orvsetup.exe")
    for needed in (setup_program, os.path.join(args.programs, "uninstall.exe"), args.unrar_dll):
        if not os.path.isfile(needed):
            sys.exit("error: %s is missing (tools/build-dist.sh builds the programs, tools/setup-machine.sh "
                     "unrar.dll; --programs and --unrar-dll name others)" % needed)
    # The setup program can only load a library built for its own processor.
    if pe_machine(setup_program) != pe_machine(args.unrar_dll):
        sys.exit("error: %s and %s are built for different processors" % (setup_program, args.unrar_dll))

    with open(args.config, "rb") as handle:
        data = handle.read()
    for warning in check_configuration(data, args.payload):
        print("warning: " + warning, file=sys.stderr)

    os.makedirs(args.output, exist_ok=True)
    archive = os.path.abspath(os.path.join(args.output, "Data.rar"))
    if os.path.exists(archive):
        os.remove(archive)
    options = ["-r", "-idq", "-y"] + (["-s"] if args.solid else [])
    entries = sorted(os.listdir(args.payload))
    if entries:
        subprocess.run(["rar", "a"] + options + [archive] + entries, cwd=args.payload, check=True)
    uninstaller = os.path.join(args.programs, "uninstall.exe")
    subprocess.run(["rar", "a", "-ep", "-idq", "-y", archive, os.path.abspath(uninstaller)], check=True)
    shutil.copyfile(args.config, os.path.join(args.output, "OrvSetup.ini"))
    shutil.copyfile(os.path.realpath(args.unrar_dll), os.path.join(args.output, "unrar.dll"))
    shutil.copyfile(setup_program, os.path.join(args.output, "orvsetup.exe"))
    print("packaged into " + os.path.abspath(args.output))


if __name__ == "__main__":
    main()

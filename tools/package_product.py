#!/usr/bin/env python3
"""Makes the folder a vendor ships: OrvSetup.ini, Data.rar (the payload with uninstall.exe at its root), unrar.dll
and the setup program. Warns about configurations that would silently do nothing; warnings never stop it. Refuses,
before writing anything, a configuration whose editions would build the same file into the system folder.

With --single-file NAME.exe it also writes OUTPUT_DIR/NAME.exe, one program holding the whole folder: the single-file
setup (setupstub.exe) followed by the folder's four files and their checksum. With --sign CERT.pfx it signs, with
osslsigncode, the setup program and the uninstaller before they are packed and the single file last; the
certificate's password comes from the environment variable ORV_SIGN_PASSWORD. Nothing is written when a step fails.

Usage: package_product.py PAYLOAD_DIR CONFIG_INI OUTPUT_DIR [--programs DIR] [--unrar-dll FILE] [--solid]
                          [--single-file NAME.exe] [--sign CERT.pfx]
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

# Each IDE edition's code, its name and the extension of a package built for it, as the setup program has them.
EDITIONS = {
    "D2": ("Delphi 2", ""), "C1": ("C++ Builder", ""),
    "D3": ("Delphi 3", ".dpl"), "C3": ("C++ Builder 3", ".bpl"),
    "D4": ("Delphi 4", ".bpl"), "C4": ("C++ Builder 4", ".bpl"),
    "D5": ("Delphi 5", ".bpl"), "C5": ("C++ Builder 5", ".bpl"),
    "D6": ("Delphi 6", ".bpl"), "C6": ("C++ Builder 6", ".bpl"),
}
DEFAULT_EDITION = "D5"
LIST_SECTIONS = ["System_Files", "Help_Files", "Packages", "Build_Packages", "Links"]
# The sections an edition may have its own copy of, as [Packages.D6].
EDITION_SECTIONS = ["Packages", "Build_Packages"]


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


def application_entries(lines):
    """(key, value) of each line of the [Application] sections, in order (sections ignore case)."""
    in_section = False
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("["):
            in_section = stripped.lower() == "[application]"
            continue
        if in_section and "=" in stripped:
            name, value = stripped.split("=", 1)
            yield name.strip(), value.strip()


def application_value(lines, key):
    """Value of a key of [Application], or None (keys ignore case)."""
    for name, value in application_entries(lines):
        if name.lower() == key.lower():
            return value
    return None


def edition_label(code):
    return "%s (%s)" % (code, EDITIONS[code][0])


def listed_editions(lines):
    """The known codes DelphiVer names, each once and in upper case, and the unknown ones as written."""
    known, unknown = [], []
    for piece in (application_value(lines, "DelphiVer") or "").split(";"):
        code = piece.strip()
        if code.upper() in EDITIONS:
            if code.upper() not in known:
                known.append(code.upper())
        elif code:
            unknown.append(code)
    return known, unknown


def installed_editions(lines):
    return listed_editions(lines)[0] or [DEFAULT_EDITION]


def section_names(lines):
    """The lower-case names of the section headers, written as the setup program finds them."""
    return {line[1:-1].lower() for line in lines if line.startswith("[") and line.endswith("]")}


def edition_sections(lines):
    """(section, code) of each edition's own section present, as ("Packages.D6", "D6"), the code in upper case."""
    found = {}
    for name in section_names(lines):
        base, dot, code = name.partition(".")
        for section in EDITION_SECTIONS:
            if dot and base == section.lower():
                found[name] = (section + "." + code.upper(), code.upper())
    return sorted(found.values())


def effective_section(lines, section, code):
    """The section an edition reads a list from: its own one when present, else the plain one."""
    own = section + "." + code
    return own if own.lower() in section_names(lines) else section


# What a build places in the system folder, by the source's extension; None: the edition's package extension. A
# C++Builder project (.bpr) leaves its program beside its source.
BUILD_OUTPUT_EXT = {".dpk": None, ".bpk": None, ".pas": ".dcu", ".dpr": ".exe"}


def build_output_name(source, code):
    """The file a build of that source for that edition places in the system folder, or None."""
    stem, dot, ext = source.rpartition(".")
    if not dot or "." + ext.lower() not in BUILD_OUTPUT_EXT:
        return None
    new_ext = BUILD_OUTPUT_EXT["." + ext.lower()]
    return stem + (EDITIONS[code][1] if new_ext is None else new_ext)


def build_output_clash(lines):
    """Why two installed editions' builds would overwrite each other's file in the system folder, or None."""
    built_by = {}
    for code in installed_editions(lines):
        for line in section_lines(lines, effective_section(lines, "Build_Packages", code)):
            # A line without a title names no file: the setup program builds nothing for it.
            output = build_output_name(line.split("=", 1)[0] if "=" in line else "", code)
            if output is None:
                continue
            other = built_by.setdefault(output.lower(), code)
            if other != code:
                return ("%s and %s both build '%s' into the system folder: each would overwrite the other's. Give one "
                        "of them its own [Build_Packages.<code>] section with other file names" %
                        (edition_label(other), edition_label(code), output))
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


def edition_warnings(lines, own_sections):
    """Unknown edition codes, and an edition's own section or library folder that no installed edition uses."""
    warnings = []
    known, unknown = listed_editions(lines)
    installed = installed_editions(lines)
    codes = ", ".join(EDITIONS)
    fallback = "it is left out" if known else "%s is used" % EDITIONS[DEFAULT_EDITION][0]
    for code in unknown:
        warnings.append("DelphiVer: '%s' is not one of %s; %s" % (code, codes, fallback))
    if not known and not unknown and application_value(lines, "DelphiVer") is not None:
        warnings.append("DelphiVer names no edition; %s" % fallback)
    places = [("[%s]" % name, code) for name, code in own_sections]
    places += [(key, key.partition(".")[2].upper()) for key, _value in application_entries(lines)
               if key.lower().startswith("units.")]
    for place, code in places:
        if code not in EDITIONS:
            warnings.append("%s: '%s' is not one of %s; nothing uses it" % (place, code, codes))
        elif code not in installed:
            warnings.append("%s: %s is not in DelphiVer; nothing uses it" % (place, edition_label(code)))
    return warnings


def check_configuration(data, payload):
    warnings = []
    if data.startswith(b"\xef\xbb\xbf"):
        warnings.append("the file starts with a UTF-8 byte order mark: Windows' profile reader does not see "
                        "[Application] behind it, so every key takes its default")
    lines = read_lines(data)
    present = payload_names(payload)
    own_sections = edition_sections(lines)
    for section in LIST_SECTIONS + [name for name, _code in own_sections]:
        for line in section_lines(lines, section):
            name = line.split("=", 1)[0] if "=" in line else line
            if name != name.rstrip():
                warnings.append("[%s] '%s': the name ends with a blank, so it matches no file" % (section, line))
    for section in EDITION_SECTIONS + [name for name, _code in own_sections]:
        for line in section_lines(lines, section):
            name = line.split("=", 1)[0] if "=" in line else ""
            if name and name.lower() not in present:
                warnings.append("[%s] '%s': no file of that name in the payload; the line does nothing" %
                                (section, line))
    warnings += edition_warnings(lines, own_sections)
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
    return warnings


def pe_machine(path):
    """The machine field of a PE file's header: 0x14c for 32-bit x86, 0x8664 for x86_64."""
    with open(path, "rb") as handle:
        head = handle.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0] if len(head) >= 0x40 and head[:2] == b"MZ" else None
    if offset is None or head[offset:offset + 4] != b"PE\0\0":
        sys.exit("error: %s is not a Windows program or library" % path)
    return struct.unpack_from("<H", head, offset + 4)[0]


# The single file: the setup program stub, then this layout of the setup folder's files (setupstub/single_file.h).
STUB_PROGRAM = "setupstub.exe"
LAYOUT_MARK = b"OrvSetup\x1a\x01"
SETUP_FOLDER_FILES = ["orvsetup.exe", "OrvSetup.ini", "Data.rar", "unrar.dll"]
PASSWORD_VARIABLE = "ORV_SIGN_PASSWORD"


def end_of_sections(path):
    """Where the last section of a PE file ends in the file, read from its section table."""
    with open(path, "rb") as handle:
        head = handle.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H12xH", head, offset + 6)
    table = offset + 24 + optional_size
    ends = [sum(struct.unpack_from("<II", head, table + 40 * index + 16)) for index in range(count)]
    return max(ends)


def write_single_file(stub, folder, target):
    """The stub followed by the folder's setup files and their CRC-32."""
    if os.path.getsize(stub) != end_of_sections(stub):
        sys.exit("error: %s does not end with its last section: the single file's data would not be found after it "
                 "(build it with tools/build-dist.sh)" % stub)
    paths = [os.path.join(folder, name) for name in SETUP_FOLDER_FILES]
    header = LAYOUT_MARK + struct.pack("<I", len(paths))
    for name, path in zip(SETUP_FOLDER_FILES, paths):
        header += struct.pack("<I", len(name)) + name.encode("ascii") + struct.pack("<Q", os.path.getsize(path))
    with open(target, "wb") as out:
        with open(stub, "rb") as handle:
            shutil.copyfileobj(handle, out)
        out.write(header)
        checksum = zlib.crc32(header)
        for path in paths:
            with open(path, "rb") as handle:
                for chunk in iter(lambda: handle.read(1 << 20), b""):
                    checksum = zlib.crc32(chunk, checksum)
                    out.write(chunk)
        out.write(struct.pack("<I", checksum))


def check_certificate(certificate):
    """Stops unless the certificate file opens with the password in the environment."""
    if not os.path.isfile(certificate):
        sys.exit("error: the certificate file %s does not exist" % certificate)
    if PASSWORD_VARIABLE not in os.environ:
        sys.exit("error: --sign takes the certificate's password from the environment variable %s, which is not set"
                 % PASSWORD_VARIABLE)
    for tool in ("openssl", "osslsigncode"):
        if shutil.which(tool) is None:
            sys.exit("error: %s is not installed (tools/setup-machine.sh installs it)" % tool)
    # openssl reads the password from the environment itself. Older certificate files need its legacy algorithms.
    command = ["openssl", "pkcs12", "-in", certificate, "-noout", "-passin", "env:" + PASSWORD_VARIABLE]
    runs = [subprocess.run(command + extra, capture_output=True, text=True) for extra in ([], ["-legacy"])]
    if all(run.returncode != 0 for run in runs):
        sys.exit("error: %s cannot be opened with the password in %s (a wrong password, or not a PKCS#12 "
                 "certificate file): %s" % (certificate, PASSWORD_VARIABLE, runs[0].stderr.strip()))


def sign(certificate, description, source, target):
    """Signs a program with osslsigncode; the password reaches it through a pipe, never on its command line."""
    run = subprocess.run(["osslsigncode", "sign", "-pkcs12", certificate, "-readpass", "/dev/stdin", "-h", "sha256",
                          "-n", description, "-in", source, "-out", target],
                         input=os.environ[PASSWORD_VARIABLE], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("error: osslsigncode could not sign %s with %s: %s" % (source, certificate,
                                                                         (run.stdout + run.stderr).strip()))
    return target


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
    parser.add_argument("--single-file", metavar="NAME.exe")
    parser.add_argument("--sign", metavar="CERT.pfx")
    args = parser.parse_args()
    with open(args.config, "rb") as handle:
        data = handle.read()
    for warning in check_configuration(data, args.payload):
        print("warning: " + warning, file=sys.stderr)
    clash = build_output_clash(read_lines(data))
    if clash:
        sys.exit("error: " + clash)
    single_file = args.single_file
    if single_file is not None and (os.path.basename(single_file) != single_file or
                                    single_file.lower() in (name.lower() for name in SETUP_FOLDER_FILES)):
        sys.exit("error: --single-file takes a file name without a folder, other than the setup folder's files")
    if args.sign:
        check_certificate(args.sign)

    setup_program = os.path.join(args.programs, "orvsetup.exe")
    uninstaller = os.path.join(args.programs, "uninstall.exe")
    stub = os.path.join(args.programs, STUB_PROGRAM)
    for needed in [setup_program, uninstaller, args.unrar_dll] + ([stub] if single_file else []):
        if not os.path.isfile(needed):
            sys.exit("error: %s is missing (tools/build-dist.sh builds the programs, tools/setup-machine.sh "
                     "unrar.dll; --programs and --unrar-dll name others)" % needed)
    # The programs can only load a library built for their own processor, and start a program built for it.
    machines = {path: pe_machine(path) for path in [setup_program, args.unrar_dll] + ([stub] if single_file else [])}
    if len(set(machines.values())) > 1:
        sys.exit("error: %s are built for different processors" % " and ".join(machines))

    # Everything is made in a scratch folder and moved into the output folder at the end: a packaging that stops
    # writes nothing there.
    with tempfile.TemporaryDirectory() as staging:
        folder = os.path.join(staging, "folder")
        os.makedirs(folder)
        description = application_value(read_lines(data), "AppName") or "Setup"
        if args.sign:
            setup_program = sign(args.sign, description, setup_program, os.path.join(staging, "orvsetup.exe"))
            uninstaller = sign(args.sign, description, uninstaller, os.path.join(staging, "uninstall.exe"))
        archive = os.path.join(folder, "Data.rar")
        options = ["-r", "-idq", "-y"] + (["-s"] if args.solid else [])
        entries = sorted(os.listdir(args.payload))
        if entries:
            subprocess.run(["rar", "a"] + options + [archive] + entries, cwd=args.payload, check=True)
        subprocess.run(["rar", "a", "-ep", "-idq", "-y", archive, os.path.abspath(uninstaller)], check=True)
        shutil.copyfile(args.config, os.path.join(folder, "OrvSetup.ini"))
        shutil.copyfile(os.path.realpath(args.unrar_dll), os.path.join(folder, "unrar.dll"))
        shutil.copyfile(setup_program, os.path.join(folder, "orvsetup.exe"))
        results = [os.path.join(folder, name) for name in SETUP_FOLDER_FILES]
        if single_file:
            unsigned = os.path.join(staging, "unsigned.exe")
            write_single_file(stub, folder, unsigned)
            results.append(sign(args.sign, description, unsigned, os.path.join(staging, single_file))
                           if args.sign else shutil.move(unsigned, os.path.join(staging, single_file)))
        os.makedirs(args.output, exist_ok=True)
        for result in results:
            shutil.move(result, os.path.join(args.output, os.path.basename(result)))
    print("packaged into " + os.path.abspath(args.output))


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# The main job: sets up what the machine lacks, builds both programs into dist/, packages the sample product
# (tools/sample-product) for Delphi 5 and Delphi 6 into a vendor folder, and installs it into a throwaway Wine prefix
# that holds a fake Delphi 5 and a fake Delphi 6, answering the setup's questions as a user would; then reports what
# the user saw and what was installed into each edition.
#   tools/main-job.sh          the end-to-end driver (orvdriver.exe) answers: welcome OK, the proposed folder OK,
#                              OK to installing into both editions, not now to opening the readme, OK to the closing
#                              message
#   tools/main-job.sh --show   the real windows on the X display ($DISPLAY) for a person to click through
# Everything it makes is in build-main-job/ and is made anew on every run: the driver and the fake IDE tools, the
# configuration packaged (OrvSetup.ini), the vendor folder (vendor/), the prefix (prefix/), the driver's answers and
# record, and the report (report.txt).
# Where the kernel runs no 32-bit code (tools/target-windows.sh), the programs installed are the x86_64 build of the
# same sources, and the report says so; dist/ holds the 32-bit programs either way.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
WORK="$ROOT/build-main-job"

SHOW=0
case "${1:-}" in
  "") ;;
  --show) SHOW=1 ;;
  *) echo "usage: tools/main-job.sh [--show]" >&2; exit 2 ;;
esac
if [ "$SHOW" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "main-job: --show needs an X display, and DISPLAY is not set" >&2
  exit 2
fi
say() { printf '[main-job] %s\n' "$*"; }
# Runs a step and shows its output only when it fails, with what failed: that output is the only word on why.
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1 </dev/null; then
    cat "$log" >&2
    rm -f "$log"
    echo "main-job: '$*' failed (output above)" >&2
    exit 1
  fi
  rm -f "$log"
}
# A Unix path as Wine sees it through its Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

bash tools/setup-machine.sh
source tools/target-windows.sh
bash tools/build-dist.sh
say "built $ROOT/dist/orvsetup.exe and $ROOT/dist/uninstall.exe (32-bit)"

say "building the end-to-end driver and the fake IDE command-line tools in $WORK"
orv_configure "$WORK" "$ORV_TOOLCHAIN"
targets=(orvdriver orvdriverhook fake_tool)
if [ "$ORV_ARCH" = win32 ]; then
  PROGRAMS="$ROOT/dist"
  BUILD_NAME="the shipped 32-bit programs (dist/)"
else
  targets+=(orvsetup uninstall)
  PROGRAMS="$WORK"
  BUILD_NAME="the x86_64 build of the same sources ($(orv_target_summary | cut -d: -f1))"
fi
build_log="$WORK/build.log"
cmake --build "$WORK" -j2 --target "${targets[@]}" >"$build_log" 2>&1 ||
  { cat "$build_log" >&2; echo "main-job: building ${targets[*]} failed (output above)" >&2; exit 1; }
say "installing $BUILD_NAME"

# The sample's configuration names Delphi 5 alone. This one lists Delphi 6 too, which gets the ready-made package,
# the library path and the help but builds nothing: building OrvMarlin50.dpk as Delphi 5 does would put a second
# OrvMarlin50.bpl into the system folder, which the packaging command refuses.
CONFIG="$WORK/OrvSetup.ini"
sed 's/^DelphiVer=D5\r$/DelphiVer=D5;D6\r/' tools/sample-product/OrvSetup.ini >"$CONFIG"
if ! grep -q '^DelphiVer=D5;D6' "$CONFIG"; then
  echo "main-job: tools/sample-product/OrvSetup.ini has no line 'DelphiVer=D5' to extend with D6" >&2
  exit 1
fi
printf '\r\n[Build_Packages.D6]\r\n' >>"$CONFIG"

say "packaging the sample product for Delphi 5 and Delphi 6 (package_product.py's warnings follow, if any)"
VENDOR="$WORK/vendor"
rm -rf "$VENDOR"
python3 tools/package_product.py tools/sample-product/payload "$CONFIG" "$VENDOR" \
  --programs "$PROGRAMS" --unrar-dll "$ORV_UNRAR_DLL"

say "making a throwaway Wine prefix with a fake Delphi 5 and a fake Delphi 6"
export WINEPREFIX="$WORK/prefix"
wineserver -k >/dev/null 2>&1 || true  # one left by an interrupted run
rm -rf "$WINEPREFIX"
cp -a "$ORV_TEMPLATE_PREFIX" "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ "$SHOW" = 1 ]; then
  # The template prefix draws nowhere; this one draws on the display. Wine's desktop process keeps the driver it
  # started with, so the server and that process end before the prefix is used.
  quiet wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f
  quiet wineserver -k
  quiet wineserver -w
fi
quiet wineserver -p

# The IDEs, Delphi 5 and Delphi 6: each with its command-line tools (the tests' stand-ins, which log each run into
# its Bin\tools.log), its help contents file, its root folder in the registry, and a user who has started it once
# (library path, Known Packages).
DRIVE_C="$WINEPREFIX/drive_c"
for version in 5 6; do
  IDE="$DRIVE_C/Program Files/Borland/Delphi$version"
  mkdir -p "$IDE/Bin" "$IDE/HELP"
  for tool in dcc32 bpr2mak make; do cp "$WORK/tools/fake-ide/fake_tool.exe" "$IDE/Bin/$tool.exe"; done
  printf '%s\r\n' ":Base delphi$version.hlp>main" ":Title Delphi $version Help" \
    ":Index Delphi Help =delphi$version.hlp" ":Index Object Pascal Reference =del${version}op.hlp" \
    >"$IDE/HELP/delphi$version.cnt"
done
cat >"$WORK/delphi.reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Borland\Delphi\5.0]
"RootDir"="C:\\Program Files\\Borland\\Delphi5"

[HKEY_CURRENT_USER\Software\Borland\Delphi\5.0\Library]
"Search Path"="$(DELPHI)\\Lib;$(DELPHI)\\Bin;$(DELPHI)\\Imports"

[HKEY_CURRENT_USER\Software\Borland\Delphi\5.0\Known Packages]
"$(DELPHI)\\Bin\\dclstd50.bpl"="Borland Standard Components"
"$(DELPHI)\\Bin\\dcldb50.bpl"="Borland Database Components"

[HKEY_LOCAL_MACHINE\Software\Borland\Delphi\6.0]
"RootDir"="C:\\Program Files\\Borland\\Delphi6"

[HKEY_CURRENT_USER\Software\Borland\Delphi\6.0\Library]
"Search Path"="$(DELPHI)\\Lib;$(DELPHI)\\Bin;$(DELPHI)\\Imports;$(DELPHI)\\Lib\\Indy"

[HKEY_CURRENT_USER\Software\Borland\Delphi\6.0\Known Packages]
"$(DELPHI)\\Bin\\dclstd60.bpl"="Borland Standard Components"
EOF
quiet wine reg import "$(winepath "$WORK/delphi.reg")"

# The vendor folder as the user downloaded it.
DOWNLOAD='C:\Downloads\Quillmark Marlin'
mkdir -p "$DRIVE_C/Downloads/Quillmark Marlin"
cp "$VENDOR"/* "$DRIVE_C/Downloads/Quillmark Marlin/"

APP_NAME="$(sed -n 's/^AppName=//p' "$CONFIG" | tr -d '\r')"
RECORD="$WORK/record.txt"
rm -f "$RECORD" "$WORK/report.txt"
if [ "$SHOW" = 1 ]; then
  say "running $DOWNLOAD\\orvsetup.exe on $DISPLAY: click through it"
  set +e
  (cd "$DRIVE_C/Downloads/Quillmark Marlin" && wine orvsetup.exe)
  status=$?
  set -e
  say "the setup program ended with exit code $status"
  RECORD_OPTION=()
else
  cat >"$WORK/answers.txt" <<'EOF'
# The welcome question.
caption Welcome!
text This program will install Quillmark Marlin Components Version 2.1
press OK
# The destination: the proposed folder is kept.
caption Select Destination Directory
press OK
# The editions: both are installed, so both boxes come checked; OK keeps them.
caption Select IDEs
text Delphi 5
text Delphi 6
controls 1100 1101
press OK
# The offer to open the readme: not now.
caption Welcome!
text Would you like to run readme.txt right now?
press Cancel
# The closing message.
caption Setup
text Installation completed.
press OK
EOF
  say "running $DOWNLOAD\\orvsetup.exe under the driver"
  set +e
  wine "$(winepath "$WORK/tools/driver/orvdriver.exe")" --script "$(winepath "$WORK/answers.txt")" \
    --out "$(winepath "$RECORD")" --folder "$DOWNLOAD" --timeout 60 -- "$DOWNLOAD\\orvsetup.exe"
  status=$?
  set -e
  [ "$status" = 0 ] || say "the run did not go as the answers expected (driver exit code $status): see the record"
  RECORD_OPTION=(--record "$RECORD")
fi

# The Wine server saves the registry when it ends; the report reads the saved files.
quiet wineserver -k
quiet wineserver -w
{
  if [ "$status" != 0 ]; then
    echo "THE RUN FAILED (exit code $status): what follows is what the user saw and what it left, not an installation"
  fi
  echo "Installed: $BUILD_NAME"
  python3 tools/install_report.py "$WINEPREFIX" "$APP_NAME" "${RECORD_OPTION[@]}"
} | tee "$WORK/report.txt"
say "report saved in $WORK/report.txt"
exit "$status"

#!/usr/bin/env bash
# Cleans the same files with the POSIX build and with scourby.exe under Wine,
# with the same switches, and fails on any difference: standard output (with
# "\" in place of "/" in paths), the cleaned files, the trash files, the
# backups, and with /D the modification times. Then the behaviour that only
# Windows has: quotes anywhere in an argument, hidden and read-only files, all
# three file times kept by /D, and names that need the UTF-8 code page.
#
#   tests/wine/parity.sh [POSIX_BUILD [WINDOWS_BUILD]]
#
# The builds default to build/ and build-windows/ (presets default and
# windows). Needs wine; the shared corpus is cleaned too when it is there.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
posix_build=$(cd "${1:-$root/build}" && pwd)
windows_build=$(cd "${2:-$root/build-windows}" && pwd)
linux_exe=$posix_build/scourby
make_fixtures=$posix_build/tests/wine_fixtures
windows_exe=$windows_build/scourby.exe
file_times=$windows_build/tests/file_times.exe
for f in "$linux_exe" "$make_fixtures" "$windows_exe" "$file_times"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "missing: $f (build the default and windows presets first)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/scourby-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# One prefix for the whole suite, and one server kept up between the runs.
wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 2; }
wineserver -p >/dev/null 2>&1

fixtures=$work/fixtures
"$make_fixtures" "$fixtures" || exit 2
corpus=$root/../shared/corpus
if [ -d "$corpus" ]; then
  # Writable (Windows never rewrites a read-only file), and names in lower
  # case with "-" for "_": the POSIX build lists in byte order, the Windows
  # search without regard to case; with these names the two orders agree.
  cp -r "$corpus" "$fixtures/corpus"
  chmod -R u+w "$fixtures/corpus"
  find "$fixtures/corpus" -depth -name '*[A-Z_]*' | while read -r path; do
    base=$(basename "$path")
    base=${base,,}
    mv "$path" "$(dirname "$path")/${base//_/-}"
  done
fi
# Files made the way people make them, when the tools are there: encoded by
# lame (VBR, a Xing header) and ffmpeg (CBR, an Info header), tagged by
# eyeD3 and id3v2, joined with cat, one cut short with head -c.
real_tools=yes
for tool in sox lame ffmpeg eyeD3 id3v2; do command -v "$tool" >/dev/null 2>&1 || real_tools=; done
if [ -n "$real_tools" ]; then
  real=$fixtures/real
  mkdir -p "$real"
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 6 sine 300-900 vol 0.4 2>/dev/null
  lame --quiet -V 2 "$work/tone.wav" "$real/vbr.mp3"
  ffmpeg -v error -y -i "$work/tone.wav" -c:a libmp3lame -b:a 128k -id3v2_version 0 -map_metadata -1 "$real/cbr.mp3"
  eyeD3 -Q --v2 -a Artist -t Title "$real/vbr.mp3" >/dev/null 2>&1
  id3v2 -1 -a Artist -t Title "$real/cbr.mp3"
  cat "$real/vbr.mp3" "$real/cbr.mp3" "$real/vbr.mp3" >"$real/joined.mp3"
  head -c $(($(stat -c %s "$real/joined.mp3") * 2 / 3)) "$real/joined.mp3" >"$real/cut.mp3"
fi
find "$fixtures" -exec touch -h -d @1000000000 {} +

cases=0
failures=0
fail() {
  failures=$((failures + 1))
  echo "FAIL: $*"
}

# A fresh copy of the fixtures for each side of one case.
fresh() {
  rm -rf "$work/case"
  mkdir -p "$work/case"
  cp -a "$fixtures" "$work/case/linux"
  cp -a "$fixtures" "$work/case/windows"
}

run_linux() {  # ARGS...: runs in case/linux, output to case/linux.out
  (cd "$work/case/linux" && "$linux_exe" "$@" >"$work/case/linux.out" 2>/dev/null)
}

run_windows() {  # ARGS...: runs in case/windows, output to case/windows.out
  local status=0
  (cd "$work/case/windows" && wine "$windows_exe" "$@" >"$work/case/windows.out" 2>/dev/null) || status=$?
  # Now and then Wine fails to start a program at all (no banner, no line):
  # that is Wine's, and the run is made once more.
  if [ "$status" -ne 0 ] && [ ! -s "$work/case/windows.out" ]; then
    echo "(wine did not start the program; once more)"
    status=0
    (cd "$work/case/windows" && wine "$windows_exe" "$@" >"$work/case/windows.out" 2>/dev/null) || status=$?
  fi
  return "$status"
}

# The POSIX output as Windows prints it: "\" for "/" in every line but the
# help hint, and but the kind "RIFF/WAVE header" of /L (the only fixed texts
# with a "/" that parity runs print).
to_windows_paths() {
  sed -e '/^Use \/? option for help\./!s#/#\\#g' -e 's#: RIFF\\WAVE header\r$#: RIFF/WAVE header\r#' "$1"
}

same_output() {  # NAME EXPECTED ACTUAL
  if ! cmp -s "$2" "$3"; then
    fail "$1: standard output differs"
    diff <(cat -A "$2") <(cat -A "$3") | head -20
    return 1
  fi
}

same_trees() {  # NAME: the two folders hold the same names and bytes
  if ! diff -r --no-dereference "$work/case/linux" "$work/case/windows" >"$work/case/tree.diff" 2>&1; then
    fail "$1: files differ"
    head -20 "$work/case/tree.diff"
    return 1
  fi
}

mtimes() {  # FOLDER: name and modification time of every input file
  (cd "$1" && find . -type f ! -name '*.trash' ! -name '*.clean' -printf '%P %T@\n' | sort)
}

# parity NAME ARGS...: the same arguments on both sides ("/" becomes "\" in
# the Windows arguments that are not switches).
parity() {
  local name=$1
  shift
  local windows_args=() arg
  for arg in "$@"; do
    if [[ $arg == /* ]]; then windows_args+=("$arg"); else windows_args+=("${arg//\//\\}"); fi
  done
  cases=$((cases + 1))
  fresh
  run_linux "$@" || fail "$name: exit code $? on POSIX"
  run_windows "${windows_args[@]}" || fail "$name: exit code $? on Windows"
  to_windows_paths "$work/case/linux.out" >"$work/case/linux.win.out"
  same_output "$name" "$work/case/linux.win.out" "$work/case/windows.out"
  if [[ " $* " == *" /D"* ]]; then
    diff <(mtimes "$work/case/linux") <(mtimes "$work/case/windows") >/dev/null ||
      fail "$name: modification times differ"
  fi
  same_trees "$name"
}

# Help, bad switches and a run without files print fixed text: no path
# mapping.
raw_parity() {
  local name=$1
  shift
  cases=$((cases + 1))
  fresh
  run_linux "$@"
  run_windows "$@"
  same_output "$name" "$work/case/linux.out" "$work/case/windows.out"
}

echo "== Same files, same switches: POSIX build and scourby.exe"
raw_parity "no arguments"
raw_parity "help" /?
raw_parity "help after a file" a.mp3 -H
raw_parity "invalid switch" /vx files/a.mp3
raw_parity "switches only" /V --t
raw_parity "--help, any case" files/a.mp3 --HELP
raw_parity "--version among files" files/a.mp3 --Version /T

for switches in "" /T "/F /T" "/P /T" /P /B "/B /T /P" /C "/C /T /F" /D "/D /C" /V "/V /T /C" "/P /C /T" \
  /N "/N /T /B /V" "/N /C /D" "/L /T" "/L /C /P" "/L /V /N" "/K /T /L" "/K /C /T /P" "/K /N /V"; do
  # shellcheck disable=SC2086
  parity "files/*.mp3 $switches" "files/*.mp3" $switches
done
parity "folder with a trailing separator, combined letters" files/ /vtp
parity "folder and sub-folders" "lib/*.mp3" /S
parity "every file of the tree, trash kept" lib/ /S /T
parity "one name in every sub-folder" lib/a.mp3 /S
parity "wildcard ? in every sub-folder, backups" "lib/?.mp3" /S /B
parity "a folder named like a file is not cleaned" lib/x.mp3
parity "a folder without its separator" lib/sub
parity "specifications split by |, no such folder" "files/frames.mp3|lib/b.mp3" lib/no-such/a.mp3 "files/????.mp3" /T
parity "hidden by its dot" lib/.hidden.mp3 "lib/.*"
parity "names outside the ANSI code page" "names/*.mp3" /S /T /V
if [ -d "$fixtures/corpus" ]; then
  parity "corpus, verbose, trash" "corpus/*.*" /S /V /T
  parity "corpus, compatibility, backups, ID3v1 kept" corpus/ /S /B /P /D
fi

# In a case's setup: the side's own program, run in the current folder.
own_run() {  # ARGS...
  if [[ $PWD == "$work/case/windows" ]]; then
    local windows_args=() arg
    for arg in "$@"; do
      if [[ $arg == /* ]]; then windows_args+=("$arg"); else windows_args+=("${arg//\//\\}"); fi
    done
    wine "$windows_exe" "${windows_args[@]}" >/dev/null 2>&1
  else
    "$linux_exe" "$@" >/dev/null 2>&1
  fi
}

# Cases that need files set up first: SETUP runs in each side's folder.
# parity_after NAME SETUP ARGS...: the same arguments on both sides, then
# the outputs and the trees compared.
parity_after() {
  local name=$1 setup=$2
  shift 2
  cases=$((cases + 1))
  fresh
  (cd "$work/case/linux" && eval "$setup")
  (cd "$work/case/windows" && eval "$setup")
  local windows_args=() arg
  for arg in "$@"; do
    if [[ $arg == /* ]]; then windows_args+=("$arg"); else windows_args+=("${arg//\//\\}"); fi
  done
  run_linux "$@"
  run_windows "${windows_args[@]}"
  to_windows_paths "$work/case/linux.out" >"$work/case/linux.win.out"
  same_output "$name" "$work/case/linux.win.out" "$work/case/windows.out"
  same_trees "$name"
}

echo "== The trash across runs, paths planted at the output names, links"
# A second run adds nothing to the trash files and leaves them as they were;
# a file tagged again (here: put back as it was) adds its tags behind the
# old ones.
for switches in /T "/C /T" "/B /P /D"; do
  # shellcheck disable=SC2086
  parity_after "second run, $switches" "own_run 'files/*.mp3' $switches" "files/*.mp3" $switches
  # shellcheck disable=SC2086
  parity_after "tagged again, $switches" "own_run 'files/*.mp3' $switches; cp '$fixtures/files/both-tags.mp3' files/" \
    "files/*.mp3" $switches
done
# With /V each failure says why, in the same words on both builds.
for output in clean trash; do
  parity_after "a link planted at .$output" "ln -s frames.mp3 files/both-tags.mp3.$output" "files/both-tags.mp3" /C /T /V
  parity_after "a dangling link planted at .$output" "ln -s nowhere files/both-tags.mp3.$output" \
    "files/both-tags.mp3" /C /T /V
  parity_after "a folder planted at .$output" "mkdir files/both-tags.mp3.$output && echo kept >files/both-tags.mp3.$output/x" \
    "files/both-tags.mp3" /C /T /V
done
parity "names that match no file, a folder named without its separator" files/no-such.mp3 "files/nothing*.mp3" lib/sub /V
# A listing passes over each file's backup, trash and stale .clean (any
# letter case in the ending), but not over one without its file.
own_setup="for x in .bak .TRASH .clean; do cp files/both-tags.mp3 files/both-tags.mp3\$x; done; \
  cp files/both-tags.mp3 files/lone.mp3.bak"
for spec in files/ "files/*.*" "files/*"; do
  parity_after "a listing passes over backups and trash, $spec" "$own_setup" "$spec" /V
done
parity_after "backups and trash named whole" "$own_setup" files/both-tags.mp3.bak files/both-tags.mp3.TRASH /V
parity_after "a link planted at .trash, direct mode" "ln -s frames.mp3 files/both-tags.mp3.trash" "files/both-tags.mp3" /T
parity_after "a link planted at .bak" "ln -s frames.mp3 files/both-tags.mp3.bak" "files/both-tags.mp3" /B /T
# A library in deep folders: paths of over 400 characters, walked, cleaned
# through .clean, with .trash and .bak, and named whole on the command line.
deep_setup="d=deep; for i in 1 2 3 4 5 6 7 8 9 10; do d=\$d/folder-with-a-rather-long-name-number-\$i; done; \
  mkdir -p \$d && cp '$fixtures/files/both-tags.mp3' \$d/song.mp3"
for switches in "/S /C /T /B" "/S /T /D" "/S /N"; do
  # shellcheck disable=SC2086
  parity_after "paths over 260 characters, $switches" "$deep_setup" "deep/*.mp3" $switches
done
deep_file=deep/$(printf 'folder-with-a-rather-long-name-number-%s/' 1 2 3 4 5 6 7 8 9 10)song.mp3
parity_after "a path over 260 characters named whole" "$deep_setup" "$deep_file" /T
for switches in /T "/C /T" "/B /T"; do
  # shellcheck disable=SC2086
  parity_after "a link into another folder, $switches" "mkdir store && mv files/both-tags.mp3 store/ && \
    ln -s ../store/both-tags.mp3 files/both-tags.mp3" "files/both-tags.mp3" $switches
done

if [ -n "$real_tools" ]; then
  echo "== Real files: encoded, tagged, joined, cut short"
  for switches in "" /T /C "/C /T" /N "/L /T" "/L /C /V"; do
    # shellcheck disable=SC2086
    parity "real/*.mp3 $switches" "real/*.mp3" $switches
  done
  # Cleaned again with /D: nothing to remove, and each file is left as it
  # was, its status-change time too.
  for switches in /D "/C /D"; do
    # shellcheck disable=SC2086
    parity_after "real files, second run, $switches" "own_run 'real/*.mp3' $switches" "real/*.mp3" $switches
    cases=$((cases + 1))
    fresh
    # shellcheck disable=SC2086
    (cd "$work/case/windows" && own_run 'real/*.mp3' $switches)
    before=$(cd "$work/case/windows/real" && stat -c '%n %i %z' ./*.mp3)
    # shellcheck disable=SC2086
    run_windows 'real\*.mp3' $switches
    after=$(cd "$work/case/windows/real" && stat -c '%n %i %z' ./*.mp3)
    [ "$before" = "$after" ] || fail "real files, second run, $switches: a file changed: $after"
    [ "$(grep -c ' - Cleaned 0 bytes' "$work/case/windows.out")" = 4 ] ||
      fail "real files, second run, $switches: not every file had nothing to remove"
  done
fi

echo "== Windows only"

# Quotes anywhere in an argument, as typed at the prompt: cmd hands the line
# to the program unchanged.
windows_line() {  # LINE: runs LINE (program path prepended) through cmd in case/windows
  local exe
  exe=$(winepath -w "$windows_exe" 2>/dev/null)
  printf '@"%s" %s\r\n' "$exe" "$1" >"$work/case/windows/run.bat"
  (cd "$work/case/windows" && wine cmd /c run.bat >"$work/case/windows.out" 2>/dev/null)
  rm -f "$work/case/windows/run.bat"
}
quoting() {  # NAME LINE POSIX_ARGS...
  local name=$1 line=$2
  shift 2
  cases=$((cases + 1))
  fresh
  mkdir -p "$work/case/linux/q/my mp3z" "$work/case/windows/q/my mp3z"
  cp "$fixtures/files/both-tags.mp3" "$work/case/linux/q/my mp3z/a.mp3"
  cp "$fixtures/files/both-tags.mp3" "$work/case/windows/q/my mp3z/a.mp3"
  run_linux "$@"
  windows_line "$line"
  to_windows_paths "$work/case/linux.out" >"$work/case/linux.win.out"
  same_output "$name" "$work/case/linux.win.out" "$work/case/windows.out"
  same_trees "$name"
}
quoting "quotes around the middle of a path" 'q\"my mp3z"\a.mp3 /T' "q/my mp3z/a.mp3" /T
quoting "quote opened mid-name, closed after the wildcard" 'q\my" mp3z\*.mp3" "/t"' "q/my mp3z/*.mp3" /T
quoting "empty quotes and a quoted switch" '"" q\"my mp3z\a.mp3" "/S"' "q/my mp3z/a.mp3" /S

# "/" inside a path on Windows: the folder part is kept, as typed, on every
# entry; the walk adds "\" below it.
cases=$((cases + 1))
fresh
run_linux "lib/sub/*.mp3" /S
run_windows "lib/sub/*.mp3" /S
to_windows_paths "$work/case/linux.out" | sed -e 's#^lib\\sub\\#lib/sub/#' >"$work/case/linux.win.out"
same_output "a path with / on Windows" "$work/case/linux.win.out" "$work/case/windows.out"
same_trees "a path with / on Windows"

# A file hidden by its attribute is skipped, even when named exactly.
cases=$((cases + 1))
fresh
cp "$fixtures/files/both-tags.mp3" "$work/case/windows/lib/shy.mp3"
(cd "$work/case/windows" && wine attrib +h 'lib\shy.mp3' >/dev/null 2>&1)
run_linux "lib/*.mp3" lib/shy.mp3
run_windows 'lib\*.mp3' 'lib\shy.mp3'
to_windows_paths "$work/case/linux.out" >"$work/case/linux.win.out"
same_output "hidden attribute" "$work/case/linux.win.out" "$work/case/windows.out"
cmp -s "$fixtures/files/both-tags.mp3" "$work/case/windows/lib/shy.mp3" || fail "hidden attribute: the file was changed"
rm "$work/case/windows/lib/shy.mp3"
same_trees "hidden attribute"

# A read-only file: direct mode cannot open it; in compatibility mode its
# ".clean" cannot replace it, which is reported, and the file is not counted
# and keeps its content (no ".clean" is left); /B moves it aside.
readonly_case() {  # NAME SWITCHES EXPECTED_LINE
  local name=$1 switches=$2 expected=$3 path='files\both-tags.mp3'
  cases=$((cases + 1))
  fresh
  (cd "$work/case/windows" && wine attrib +r "$path" >/dev/null 2>&1)
  # shellcheck disable=SC2086
  run_windows "$path" $switches
  if ! grep -qxF "$(printf '%s\r' "$expected")" "$work/case/windows.out"; then
    fail "$name: expected the line: $expected"
    cat -A "$work/case/windows.out" | tail -5
  fi
}
readonly_case "read-only, direct mode" "" 'files\both-tags.mp3...Cannot open!'
cmp -s "$fixtures/files/both-tags.mp3" "$work/case/windows/files/both-tags.mp3" || fail "read-only, direct mode: file changed"
[ ! -e "$work/case/windows/files/both-tags.mp3.clean" ] || fail "read-only, direct mode: a .clean was left"

readonly_case "read-only, compatibility mode" /C \
  'files\both-tags.mp3 ! Could not rename files\both-tags.mp3.clean to files\both-tags.mp3'
grep -qF "$(printf 'Processed 0 file(s)')" "$work/case/windows.out" || fail "read-only, compatibility mode: counted"
[ ! -e "$work/case/windows/files/both-tags.mp3.clean" ] || fail "read-only, compatibility mode: a .clean was left"
cmp -s "$fixtures/files/both-tags.mp3" "$work/case/windows/files/both-tags.mp3" ||
  fail "read-only, compatibility mode: the input was changed"

readonly_case "read-only, backup" /B 'files\both-tags.mp3 - Cleaned 2176 bytes'
run_linux files/both-tags.mp3 /B
for f in both-tags.mp3 both-tags.mp3.bak; do
  cmp -s "$work/case/linux/files/$f" "$work/case/windows/files/$f" || fail "read-only, backup: $f differs"
  # The cleaned file keeps the input's read-only attribute, the backup too.
  (cd "$work/case/windows" && wine attrib "files\\$f" 2>/dev/null) | grep -q ' R ' ||
    fail "read-only, backup: $f is no longer read-only"
done

# /D puts back the creation, last-access and last-write times, in both modes.
for switches in /D "/D /C"; do
  cases=$((cases + 1))
  fresh
  path='files\both-tags.mp3'
  (cd "$work/case/windows" && wine "$file_times" set "$path" 126000000000000000 127000000001234567 128000000007654321)
  before=$(cd "$work/case/windows" && wine "$file_times" get "$path" | tr -d '\r')
  # shellcheck disable=SC2086
  run_windows "$path" $switches
  after=$(cd "$work/case/windows" && wine "$file_times" get "$path" | tr -d '\r')
  if [ -z "$before" ] || [ "$before" != "$after" ]; then
    fail "$switches: times before [$before], after [$after]"
  fi
  grep -q ' - Cleaned 2176 bytes' "$work/case/windows.out" || fail "$switches: file not cleaned"
done

echo
echo "Wine cases: $cases, failed: $failures"
[ "$failures" -eq 0 ]

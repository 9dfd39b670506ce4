#!/usr/bin/env bash
# The Windows tool under Wine where it differs from the Linux build: a plug-in that calls
# exit() or _exit() or crashes during a render, Ctrl-C, the system's own words for a failure,
# a name as long as the file system allows, and the WAV on standard output. No run may leave
# an output or a temporary file behind when it fails.
#
# Preset files: what save writes, show reads, and render --preset sounds as the settings did;
# a damaged or oversized file ends in one line and exit code 1, and so does a failed write to
# standard output.
#
# Usage: wine_cli.sh EMULATOR VSTHOST.exe GAINPLUG.dll FAULTPLUG.dll WORK_DIR
set -u
set -m # background runs get Ctrl-C as a user's would, not the shell's ignored SIGINT

run=${1:?emulator}
tool=${2:?host tool}
gain=${3:?gain fixture}
fault=${4:?fault fixture}
work=${5:?work directory}
export WINEDEBUG=-all
failures=0

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

le32() {
    local v=$1
    printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $(((v >> 8) & 255)))"
    printf "\\x$(printf %02x $(((v >> 16) & 255)))\\x$(printf %02x $(((v >> 24) & 255)))"
}

# One second of 16-bit stereo noise.
frames=44100
bytes=$((frames * 4))
{
    printf 'RIFF'
    le32 $((36 + bytes))
    printf 'WAVEfmt '
    le32 16
    printf '\x01\x00\x02\x00'
    le32 44100
    le32 176400
    printf '\x04\x00\x10\x00data'
    le32 $bytes
    head -c $bytes /dev/urandom
} >in.wav

# Runs a command with its standard error in a file rather than a pipe, setting err and code: a
# Wine server that the run starts inherits the descriptors and keeps them open after it.
run_err() {
    "$@" >/dev/null 2>stderr.txt
    code=$?
    err=$(cat stderr.txt)
    rm -f stderr.txt
}

expect_clean() { # what
    if [ -e out.wav ]; then fail "$1: out.wav was written"; fi
    if ls | grep -q '\.vsthost-'; then fail "$1: left behind: $(ls | grep '\.vsthost-')"; fi
}

# A plug-in ending the process or crashing inside processReplacing.
for case in "exit|ended the process (exit(0)) during processReplacing" \
    "_exit|ended the process (_exit(0)) during processReplacing" \
    "crash|crashed (access violation) during processReplacing"; do
    name=${case%%|*}
    message="vsthost: the plug-in ${case#*|}"
    run_err env VLM_FIXTURE_FAULT="$name" "$run" "$tool" render "$fault" in.wav out.wav --block 64
    [ "$code" = 3 ] || fail "$name: expected exit code 3, got $code"
    [ "$err" = "$message" ] || fail "$name: expected '$message', got '$err'"
    expect_clean "$name"
done

# Ctrl-C once the temporary file exists.
VLM_FIXTURE_FAULT=slow "$run" "$tool" render "$fault" in.wav out.wav --block 64 >/dev/null 2>&1 &
pid=$!
for _ in $(seq 600); do
    ls | grep -q '\.vsthost-' && break
    sleep 0.05
done
ls | grep -q '\.vsthost-' || fail "Ctrl-C: the render never started"
kill -INT $pid
wait $pid
code=$?
[ "$code" != 0 ] || fail "Ctrl-C: exit code 0"
expect_clean "Ctrl-C"

# The system's message, in words, naming the user's path.
run_err "$run" "$tool" render "$gain" in.wav no-such-folder/out.wav
[ "$code" = 1 ] || fail "missing folder: expected exit code 1, got $code"
case $err in
"vsthost: cannot write 'no-such-folder/out.wav': "[A-Za-z]*) ;;
*) fail "missing folder: unexpected message '$err'" ;;
esac
case $err in *"(error"* | *.vsthost-*) fail "missing folder: '$err'" ;; esac

# A file that is no plug-in, in words.
run_err "$run" "$tool" info in.wav
[ "$err" = "vsthost: cannot load plug-in 'in.wav': it is not a plug-in binary" ] ||
    fail "not a plug-in: unexpected message '$err'"

# The longest name the file system allows, and standard output byte for byte.
long=$(printf 'n%.0s' $(seq 246)).wav
"$run" "$tool" render "$gain" in.wav "$long" >/dev/null 2>&1 || fail "long name: the render failed"
[ -s "$long" ] || fail "long name: nothing written"
"$run" "$tool" render "$gain" in.wav - >stdout.wav 2>/dev/null || fail "stdout: the render failed"
cmp -s stdout.wav "$long" || fail "stdout: the WAV differs from the file's"
expect_clean "long name and stdout"

# Presets, program and bank, through the Windows file functions.
for file in gain.fxp gain.fxb; do
    run_err "$run" "$tool" preset save "$gain" "$file" --param 0=0.3 --param 1=1
    [ "$code" = 0 ] || fail "$file: save ended with $code: $err"
    "$run" "$tool" preset show "$file" >show.txt 2>/dev/null || fail "$file: show failed"
    grep -q "^Unique id: 'VGn1'" show.txt || fail "$file: show says $(cat show.txt)"
    "$run" "$tool" render "$gain" in.wav by_settings.wav --param 0=0.3 --param 1=1 \
        >/dev/null 2>&1 || fail "$file: render with settings failed"
    "$run" "$tool" render "$gain" in.wav by_preset.wav --preset "$file" >/dev/null 2>&1 ||
        fail "$file: render with the preset failed"
    cmp -s by_settings.wav by_preset.wav || fail "$file: the preset renders other samples"
done
head -c 40 gain.fxp >cut.fxp
run_err "$run" "$tool" render "$gain" in.wav out.wav --preset cut.fxp
[ "$code" = 1 ] || fail "cut preset: expected exit code 1, got $code"
case $err in
"vsthost: bad preset file 'cut.fxp': cut short:"*) ;;
*) fail "cut preset: unexpected message '$err'" ;;
esac
expect_clean "cut preset"

# Output that never arrived is a failure; a preset beyond the size limit is refused unread.
"$run" "$tool" info "$gain" >/dev/full 2>stderr.txt
code=$?
[ "$code" = 1 ] || fail "full standard output: expected exit code 1, got $code"
grep -qx "vsthost: cannot write to standard output: No space left on device" stderr.txt ||
    fail "full standard output: unexpected message '$(cat stderr.txt)'"
rm -f stderr.txt
truncate -s 300M big.fxp
run_err "$run" "$tool" preset show big.fxp
[ "$code" = 1 ] || fail "big preset: expected exit code 1, got $code"
case $err in
"vsthost: bad preset file 'big.fxp': 314572800 bytes, larger than 256 MiB"*) ;;
*) fail "big preset: unexpected message '$err'" ;;
esac
rm -f big.fxp

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "PASS"

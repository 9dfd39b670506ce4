#!/usr/bin/env bash
# Checks the packages scripts/package.sh made in build/packages/, as a user meets them:
#   .deb     its files, its control fields, a Depends entry for every library its binaries
#            load; lintian (Debian's package checker) without an error or a warning; its
#            changelog at the package's version; vsthost's manual page names every option of
#            its --help; unpacked into a scratch root, its vsthost loads its plug-ins (VST2,
#            VST3, CLAP) and lilv finds its LV2 bundle;
#   .tar.gz  its files; unpacked, its vsthost loads its plug-ins and lilv finds its LV2 bundle;
#   .zip     its files; unpacked, its vsthost.exe loads its DLL, its VST3 bundle and its .clap
#            under Wine; the VST3 binary imports no DLL the VST2 DLL does not;
#   each .clap exports clap_entry and nothing else.
# Installs nothing; ends non-zero at the first fault, saying what was expected and what came.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
out=build/packages
version=$(sed -n 's/^project(VLMTarvix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
multiarch=$(gcc -print-multiarch)
deb=$out/vlm-tarvix_${version}_${arch}.deb
tgz=$out/VLMTarvix-${version}-linux-$(uname -m).tar.gz
zip=$out/VLMTarvix-${version}-windows-x64.zip
# The C and C++ runtimes and the libraries the design gives the plug-in: libpng, OpenGL, and
# for the editor X11, GLX, Cairo and fontconfig. Anything else a host may well not have.
plugin_libs=(libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1 ld-linux-x86-64.so.2
    libpng16.so.16 libz.so.1 libOpenGL.so.0 libGL.so.1 libGLX.so.0 libX11.so.6 libcairo.so.2
    libfontconfig.so.1 libfreetype.so.6)

fail() {
    echo "check-packages: $*" >&2
    exit 1
}
# same WHAT EXPECTED ACTUAL
same() {
    [ "$2" = "$3" ] || fail "$1: expected
$2
came
$3"
}
# files ARCHIVE: the file entries of an archive (directories left out), sorted.
files() {
    cmake -E tar tf "$1" | grep -v '/$' | sort
}
# loads HOST PLUGIN [RUNNER]: the host tool reports the plug-in's identity.
loads() {
    local report
    report=$(${3:-} "$1" info "$2" 2>&1) || fail "$1 info $2 failed:
$report"
    grep -q "^Unique id: 'VLM1'" <<<"$report" ||
        fail "$1 info $2: expected the unique id 'VLM1', came:
$report"
}

# lv2_loads DIR: lilv (lv2info) finds the bundle in DIR, its plug-in and its UI, and the binary
# exports the two LV2 entry points and nothing else.
lv2_loads() {
    local report exports dir
    dir=$(cd "$1" && pwd)
    report=$(LV2_PATH=$dir lv2info "$lv2_uri" 2>&1) || fail "lv2info found no $lv2_uri in $1:
$report"
    grep -q "Name: *VLM Tarvix" <<<"$report" && grep -q "$lv2_uri#ui" <<<"$report" ||
        fail "lv2info $lv2_uri in $1: expected the plug-in and its UI, came:
$report"
    exports=$(nm -D --defined-only "$dir/VLMTarvix.lv2/VLMTarvix.so" | awk '{ print $3 }' | sort |
        xargs)
    same "exports of $1/VLMTarvix.lv2/VLMTarvix.so" "lv2_descriptor lv2ui_descriptor" "$exports"
}
lv2_uri=https://velmora.example/plugins/tarvix
# loads_vst3 HOST BUNDLE [RUNNER]: the host tool reports the VST3 bundle's name and vendor.
loads_vst3() {
    local report
    report=$(${3:-} "$1" info "$2" 2>&1) || fail "$1 info $2 failed:
$report"
    grep -q "^Effect name: VLM Tarvix" <<<"$report" && grep -q "^Vendor: Velmora" <<<"$report" ||
        fail "$1 info $2: expected VLM Tarvix by Velmora, came:
$report"
}
vst3_linux=VLMTarvix.vst3/Contents/x86_64-linux/VLMTarvix.so
vst3_windows=VLMTarvix.vst3/Contents/x86_64-win/VLMTarvix.vst3
# loads_clap HOST PLUGIN [RUNNER]: the host tool makes the CLAP plug-in and reports it.
loads_clap() {
    local report
    report=$(${3:-} "$1" info "$2" 2>&1) || fail "$1 info $2 failed:
$report"
    grep -q "^Effect name: VLM Tarvix" <<<"$report" && grep -q "^Inputs: 2" <<<"$report" ||
        fail "$1 info $2: expected the CLAP plug-in VLM Tarvix with two inputs, came:
$report"
}

[ -n "$version" ] || fail "no project(VLMTarvix VERSION ...) in CMakeLists.txt"
for package in "$deb" "$tgz" "$zip"; do
    [ -f "$package" ] || fail "$package is missing (scripts/package.sh makes it)"
done
scratch=$(mktemp -d "$out/check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "== check-packages: $deb"
same "files of $deb" "-rwxr-xr-x root/root ./usr/bin/vsthost
-rw-r--r-- root/root ./usr/lib/clap/VLMTarvix.clap
-rw-r--r-- root/root ./usr/lib/lv2/VLMTarvix.lv2/VLMTarvix.so
-rw-r--r-- root/root ./usr/lib/lv2/VLMTarvix.lv2/VLMTarvix.ttl
-rw-r--r-- root/root ./usr/lib/lv2/VLMTarvix.lv2/manifest.ttl
-rw-r--r-- root/root ./usr/lib/vst/VLMTarvix.so
-rw-r--r-- root/root ./usr/lib/vst3/$vst3_linux
-rw-r--r-- root/root ./usr/share/doc/vlm-tarvix/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/vlm-tarvix/copyright
-rw-r--r-- root/root ./usr/share/man/man1/vsthost.1.gz" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)"
same "control fields of $deb" "vlm-tarvix $version $arch sound" \
    "$(dpkg-deb -f "$deb" Package Version Architecture Section | cut -d' ' -f2 | xargs)"
for field in Maintainer Description; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "$deb has no $field"
done
depends=$(dpkg-deb -f "$deb" Depends)
# The package names alone, versions and alternatives' bars dropped.
depends_names=" $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends" | xargs) "
dpkg -x "$deb" "$scratch/deb"
for binary in usr/bin/vsthost usr/lib/vst/VLMTarvix.so usr/lib/lv2/VLMTarvix.lv2/VLMTarvix.so \
    usr/lib/vst3/$vst3_linux usr/lib/clap/VLMTarvix.clap; do
    for lib in $(objdump -p "$scratch/deb/$binary" | awk '$1 == "NEEDED" { print $2 }'); do
        [ "$binary" = usr/bin/vsthost ] || [[ " ${plugin_libs[*]} " == *" $lib "* ]] ||
            fail "the plug-in loads $lib, which is not among the libraries it may use"
        owner=$(dpkg -S "*/$multiarch/$lib" 2>/dev/null | sed -n '1s/:.*//p') || owner=
        [ -n "$owner" ] || fail "no installed package holds $lib, which $binary loads"
        [[ $depends_names == *" $owner "* ]] ||
            fail "$binary loads $lib from package $owner, which Depends does not name: $depends"
    done
done
loads "$scratch/deb/usr/bin/vsthost" "$scratch/deb/usr/lib/vst/VLMTarvix.so"
lv2_loads "$scratch/deb/usr/lib/lv2"
loads_vst3 "$scratch/deb/usr/bin/vsthost" "$scratch/deb/usr/lib/vst3/VLMTarvix.vst3"
loads_clap "$scratch/deb/usr/bin/vsthost" "$scratch/deb/usr/lib/clap/VLMTarvix.clap"
same "symbols the CLAP plug-in exports" "clap_entry" \
    "$(nm -D --defined-only "$scratch/deb/usr/lib/clap/VLMTarvix.clap" | awk '{ print $3 }')"
# Debian's own rules: any error or warning fails (informational notes pass).
lintian_report=$(lintian --fail-on error,warning "$deb" 2>&1) ||
    fail "lintian finds faults in $deb:
$lintian_report"
changelog_version=$(gzip -dc "$scratch/deb/usr/share/doc/vlm-tarvix/changelog.gz" |
    sed -n '1s/^vlm-tarvix (\([^)]*\)).*/\1/p')
same "version of the changelog's latest entry in $deb" "$version" "$changelog_version"
manual=$(gzip -dc "$scratch/deb/usr/share/man/man1/vsthost.1.gz" | sed 's/\\-/-/g')
for option in $("$scratch/deb/usr/bin/vsthost" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$manual" || fail "vsthost's manual page does not describe $option"
done

echo "== check-packages: $tgz"
top=VLMTarvix-$version-linux-$(uname -m)
same "files of $tgz" "$top/bin/vsthost
$top/lib/clap/VLMTarvix.clap
$top/lib/lv2/VLMTarvix.lv2/VLMTarvix.so
$top/lib/lv2/VLMTarvix.lv2/VLMTarvix.ttl
$top/lib/lv2/VLMTarvix.lv2/manifest.ttl
$top/lib/vst/VLMTarvix.so
$top/lib/vst3/$vst3_linux" "$(files "$tgz")"
mkdir "$scratch/tgz"
tar -xzf "$tgz" -C "$scratch/tgz"
loads "$scratch/tgz/$top/bin/vsthost" "$scratch/tgz/$top/lib/vst/VLMTarvix.so"
lv2_loads "$scratch/tgz/$top/lib/lv2"
loads_vst3 "$scratch/tgz/$top/bin/vsthost" "$scratch/tgz/$top/lib/vst3/VLMTarvix.vst3"
loads_clap "$scratch/tgz/$top/bin/vsthost" "$scratch/tgz/$top/lib/clap/VLMTarvix.clap"

echo "== check-packages: $zip"
top=VLMTarvix-$version-windows-x64
same "files of $zip" "$top/README.md
$top/VLMTarvix.clap
$top/VLMTarvix.dll
$top/$vst3_windows
$top/vsthost.exe" "$(files "$zip")"
mkdir "$scratch/zip"
(cd "$scratch/zip" && cmake -E tar xf "$OLDPWD/$zip")
loads "$scratch/zip/$top/vsthost.exe" "$scratch/zip/$top/VLMTarvix.dll" scripts/wine-run
loads_vst3 "$scratch/zip/$top/vsthost.exe" "$scratch/zip/$top/VLMTarvix.vst3" scripts/wine-run
# The same runtime rules as the DLL's: static runtimes, nothing but system DLLs.
imports() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '$1 == "DLL" && $2 == "Name:" { print $3 }' | sort
}
extra=$(comm -23 <(imports "$scratch/zip/$top/$vst3_windows") \
    <(imports "$scratch/zip/$top/VLMTarvix.dll"))
[ -z "$extra" ] || fail "the VST3 binary imports DLLs the VST2 DLL does not: $extra"
loads_clap "$scratch/zip/$top/vsthost.exe" "$scratch/zip/$top/VLMTarvix.clap" scripts/wine-run
same "names the Windows CLAP plug-in exports" "clap_entry" \
    "$(x86_64-w64-mingw32-objdump -p "$scratch/zip/$top/VLMTarvix.clap" |
        awk '/^\[Ordinal\/Name Pointer\] Table/ { t = 1; next } t && NF == 0 { t = 0 }
             t { print $NF }')"
echo "Packages checked."

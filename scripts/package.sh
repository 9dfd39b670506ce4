#!/usr/bin/env bash
# Makes the packages users download, in build/packages/: a .deb and a .tar.gz from the linux
# preset (the VST2 .so, the LV2 bundle and the .clap), a .zip from the windows preset (the DLL
# and the .clap). Builds only what ships (the plug-ins and vsthost) in each preset's build
# directory, then packs it with CPack. Installs nothing (scripts/setup.sh does); ends non-zero
# at the first error, saying which step failed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build/packages
jobs=$(nproc)
step="starting"
trap 'echo "package: failed while $step" >&2' ERR

# finish_deb DEB: what Debian's rules ask of a package and CPack leaves out: the copyright
# file, the changelog (a native package's changelog.gz) and vsthost's manual page; and no
# ldconfig calls, which CPack adds for any shared object under /usr/lib although the plug-ins
# there are no libraries on the loader's path. Repacks DEB in place.
finish_deb() {
    local deb=$1 root doc man
    root=$(mktemp -d "$out/deb.XXXXXX")
    chmod 755 "$root"
    dpkg-deb -R "$deb" "$root"
    rm -f "$root/DEBIAN/postinst" "$root/DEBIAN/postrm"
    doc=$root/usr/share/doc/vlm-tarvix
    man=$root/usr/share/man/man1
    install -d -m 755 "$doc" "$man"
    install -m 644 packaging/deb/copyright "$doc/copyright"
    gzip -9n <packaging/deb/changelog >"$doc/changelog.gz"
    gzip -9n <tools/vsthost/vsthost.1 >"$man/vsthost.1.gz"
    chmod 644 "$doc/changelog.gz" "$man/vsthost.1.gz"
    (cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
    sed -i "s/^Installed-Size: .*/Installed-Size: $(du -s -k "$root/usr" | cut -f1)/" \
        "$root/DEBIAN/control"
    dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null
    rm -rf "$root"
}

rm -rf "$out"
mkdir -p "$out"
for preset in linux windows; do
    step="configuring the $preset preset"
    echo "== package: $preset"
    cmake --preset "$preset" >/dev/null
    step="building the $preset plug-ins and host tool"
    targets=(vlm_tarvix vlm_tarvix_vst3 vlm_tarvix_clap vsthost)
    # The LV2 bundle ships with the Linux packages (lib/lv2/VLMTarvix.lv2/).
    if [ "$preset" = linux ]; then
        targets+=(vlm_tarvix_lv2)
    fi
    cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}"
    step="packing the $preset build with CPack"
    cpack --config "build/$preset/CPackConfig.cmake" -B "$out"
done
step="adding the copyright file, changelog and manual page to the .deb"
for deb in "$out"/*.deb; do
    finish_deb "$deb"
done
# CPack's staging folder is no download.
rm -rf "$out/_CPack_Packages"
echo "Packages in build/packages/:"
ls -l "$out"

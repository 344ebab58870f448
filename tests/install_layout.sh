#!/usr/bin/env bash
# What `cmake --install` puts where a desktop, a software centre and man look for it:
# the program (which answers --version), its .desktop entry matching the window's
# WM_CLASS, the AppStream metainfo of the same id, the icons, the man page, README,
# and Debian's copyright file (with the licence) and changelog.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"

expected=(
  bin/sessionvol
  share/applications/io.github.sessionvol.sessionvol.desktop
  share/metainfo/io.github.sessionvol.sessionvol.metainfo.xml
  share/icons/hicolor/scalable/apps/sessionvol.svg
  share/icons/hicolor/48x48/apps/sessionvol.png
  share/man/man1/sessionvol.1.gz
  share/doc/sessionvol/README.md
  share/doc/sessionvol/copyright
  share/doc/sessionvol/changelog.gz
)
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
unexpected=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort | grep -vxF -f <(printf '%s\n' "${expected[@]}"))
[ -z "$unexpected" ] || fail "installed beyond the layout: $unexpected"

version=$("$prefix/bin/sessionvol" --version) || fail "sessionvol --version failed"
[[ "$version" =~ ^sessionvol\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "sessionvol --version says \"$version\""

desktop=$prefix/share/applications/io.github.sessionvol.sessionvol.desktop
for line in Exec=sessionvol Icon=sessionvol StartupWMClass=Sessionvol Type=Application; do
  grep -qx "$line" "$desktop" || fail "the .desktop entry lacks $line"
done

# PNG header: width and height are the big-endian words at bytes 16 and 20.
size=$(od -An -tu1 -j16 -N8 "$prefix/share/icons/hicolor/48x48/apps/sessionvol.png" | tr -s ' ')
[ "$size" = " 0 0 0 48 0 0 0 48" ] || fail "the 48x48 icon is not 48 by 48 pixels:$size"

man=$(gzip -dc "$prefix/share/man/man1/sessionvol.1.gz") || fail "the man page is not gzip data"
grep -q '^\.TH SESSIONVOL 1 ' <<<"$man" || fail "the man page has no .TH header"
grep -qF "${version#sessionvol }" <<<"$man" || fail "the man page does not name version ${version#sessionvol }"

echo "PASS: install layout, $version"

#!/usr/bin/env bash
# The program as a user installs it: cmake --install into a scratch root runs,
# the Debian package holds the program, its manual page and the completion,
# the manual page passes the formatter's warnings, and the completion offers
# exactly the operations of the table.
set -euo pipefail
src=$1 build=$2
scratch=$(mktemp -d "$build/scratch/install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

warnings=$(man --warnings -l "$src/doc/talvo.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page warnings: $warnings"

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
version=$("$scratch/root/usr/bin/talvo" --version)
[ "$version" = "talvo $(sed -n 's/^project(talvo VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" ] ||
  fail "installed --version said: $version"
for f in usr/share/man/man1/talvo.1 usr/share/bash-completion/completions/talvo; do
  [ -f "$scratch/root/$f" ] || fail "not installed: $f"
done

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$scratch"/*.deb)
listing=$(dpkg-deb -c "$deb")
for f in ./usr/bin/talvo ./usr/share/man/man1/talvo.1 ./usr/share/bash-completion/completions/talvo; do
  grep -q " $f\$" <<<"$listing" || fail "package lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "package depends on nothing"

table=$(sed -nE 's/^ *\{"([a-z0-9_]+)", [0-9].*/\1/p' "$src/cli/operation_table.cpp" | sort)
offered=$(bash -c "source '$src/doc/talvo.bash-completion'; COMP_WORDS=(talvo ''); COMP_CWORD=1; _talvo;
                   printf '%s\n' \"\${COMPREPLY[@]}\"" | grep -v '^--' | sort)
[ "$table" = "$offered" ] || fail "completion differs from the operation table: $(diff <(echo "$table") <(echo "$offered"))"
echo "install: 1 passed, 0 failed"

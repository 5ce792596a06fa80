#!/usr/bin/env bash
# check-package.sh BUILD_DIR SOURCE_DIR - build the Debian package and try what it installs.
#
# Makes the package with CPack, unpacks it as any user may (dpkg -x), and checks that the man
# page renders without a warning and that the unpacked partlist command, on its own and away from
# the build tree, prints its version and writes the shipped example's expected report.
# Everything happens below BUILD_DIR/package-check, which is made afresh.
set -euo pipefail

fail() {
    echo "check-package: $*" >&2
    exit 1
}

[ $# -eq 2 ] || fail "usage: check-package.sh BUILD_DIR SOURCE_DIR"
build=$(cd "$1" && pwd) || fail "no build folder $1"
source=$(cd "$2" && pwd) || fail "no source folder $2"

scratch="$build/package-check"
rm -rf "$scratch"
mkdir -p "$scratch/out" "$scratch/root" "$scratch/run"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

# The package: one .deb, named and versioned after the project.
(cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $scratch/out"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = partlist ] || fail "$deb: package name is not partlist"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    fail "$deb: version $(dpkg-deb -f "$deb" Version), project version $version"
# A command's output is taken whole before grep reads it: under pipefail, "cmd | grep -q" fails
# whenever grep stops at its match before cmd has written everything (cmd dies of SIGPIPE).
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6' <<<"$depends" || fail "$deb: Depends does not name libc6"
dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"

# Only what is meant to be installed: no test, fuzz or bench program, no static library.
stray=$(cd "$scratch/root" && find . -type f \( -name '*.a' -o -path '*/bin/*' \) |
        grep -v -e '^\./usr/bin/partlist$' -e '^\./usr/bin/partlist-window$' || true)
[ -z "$stray" ] || fail "unexpected files in the package: $stray"

# The man page, compressed or not, renders without a single warning.
if [ -f "$usr/share/man/man1/partlist.1.gz" ]; then
    gzip -dc "$usr/share/man/man1/partlist.1.gz" >"$scratch/partlist.1"
elif [ -f "$usr/share/man/man1/partlist.1" ]; then
    cp "$usr/share/man/man1/partlist.1" "$scratch/partlist.1"
else
    fail "no man page share/man/man1/partlist.1 in the package"
fi
grep -q "^\.TH PARTLIST 1 .*\"partlist $version\"" "$scratch/partlist.1" ||
    fail "the man page does not carry version $version"
warnings=$(groff -man -ww -z -Tutf8 "$scratch/partlist.1" 2>&1)
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
if command -v man >/dev/null; then
    warnings=$(man --warnings -l "$scratch/partlist.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about the man page: $warnings"
fi

# The unpacked command runs on its own: nothing from the build tree on the library path.
partlist="$usr/bin/partlist"
[ -x "$partlist" ] || fail "no usr/bin/partlist in the package"
out=$(env -u LD_LIBRARY_PATH "$partlist" --version) || fail "partlist --version failed"
grep -q "$version" <<<"$out" || fail "partlist --version prints \"$out\", not $version"

# The window's launcher, when packaged, finds the packaged library wherever the tree is unpacked.
if [ -e "$usr/bin/partlist-window" ]; then
    libs=$(env -u LD_LIBRARY_PATH ldd "$usr/bin/partlist-window")
    grep -q "libpartlist\.so\.[0-9]* => $scratch/root/" <<<"$libs" ||
        fail "the unpacked partlist-window does not find the unpacked libpartlist.so"
fi

examples="$usr/share/partlist/examples"
[ -f "$examples/amp/top.sch" ] && [ -f "$examples/expected.out" ] ||
    fail "the example is not in share/partlist/examples"
cp -r "$examples/amp" "$scratch/run/amp"
status=0
(cd "$scratch/run/amp" && env -u LD_LIBRARY_PATH "$partlist" --map dra.txt -p . top.sch) \
    >"$scratch/run/stdout" 2>"$scratch/run/stderr" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/run/stderr" >&2; fail "partlist on the example exited $status"; }
cmp "$scratch/run/amp/top.out" "$examples/expected.out" ||
    fail "the report of the installed example differs from expected.out"
cmp "$examples/expected.out" "$source/examples/expected.out" ||
    fail "the packaged expected.out differs from the source tree's"

echo "check-package: $(basename "$deb") is good"

#!/usr/bin/env bash
# Builds the Debian package of station-editor and writes it to build/:
#
#   scripts/package.sh            -> build/station-editor_<version>_<arch>.deb
#
# A Release build without the test suites and benchmarks, in build/package/ (so the
# developers' build/ configuration is left alone), compiled with Debian's
# hardening flags (dpkg-buildflags, all of them) and packed by CPack. Prints the path of the
# package on its last line. Needs cmake, dpkg-dev (dpkg-shlibdeps,
# dpkg-buildflags) and the build dependencies of the project.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$ROOT/build
DIR=$OUT/package

GENERATOR=()
command -v ninja >/dev/null && GENERATOR=(-G Ninja)
# A folder configured with another generator cannot be reused.
if [ -f "$DIR/CMakeCache.txt" ] && ! grep -q "CMAKE_GENERATOR:INTERNAL=${GENERATOR[1]:-Unix Makefiles}\$" "$DIR/CMakeCache.txt"; then
    rm -rf "$DIR"
fi
mkdir -p "$DIR"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all

# Warnings stay warnings here: a newer compiler's new warning must not stop a
# release build; the test builds are the ones that turn them into errors.
cmake -S "$ROOT" -B "$DIR" "${GENERATOR[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DSE_SANITIZE=OFF -DSE_BUILD_TESTS=OFF -DSE_BUILD_BENCH=OFF -DSE_WERROR=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >"$DIR/configure.log" 2>&1 \
    || { cat "$DIR/configure.log" >&2; echo "package.sh: configure failed" >&2; exit 1; }
cmake --build "$DIR" -j"$(nproc 2>/dev/null || echo 2)"

rm -f "$DIR"/*.deb
(cd "$DIR" && cpack -G DEB) >"$DIR/cpack.log" 2>&1 \
    || { cat "$DIR/cpack.log" >&2; echo "package.sh: cpack failed" >&2; exit 1; }
debs=("$DIR"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: expected one .deb in $DIR" >&2
    exit 1
fi
rm -f "$OUT"/station-editor_*.deb
mv "${debs[0]}" "$OUT/"
echo "$OUT/$(basename "${debs[0]}")"

#!/usr/bin/env bash
# Builds Velmora's Debian package: velmora, velmora-cli and velmora-ptz with their man pages, the
# .desktop entry, the icons and the udev rule for the adapter; the simulator stays out. Release
# build with Debian's hardening flags in ./build-package (or $VELMORA_PACKAGE_BUILD_DIR), prefix
# /usr, binaries stripped, dependencies computed from the binaries. The last line printed is the
# path of the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --package >&2
build_dir=${VELMORA_PACKAGE_BUILD_DIR:-build-package}

# Dates in the changelog and the man pages: the last commit's, so that a rebuild is identical.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

# The install step must not build everything (tests, benchmarks): only the package's targets are
# built, and CPack installs just the component "velmora".
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELMORA_MAN_PAGES=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >&2
cmake --build "$build_dir" -j "$(nproc)" \
    --target velmora velmora-cli velmora-ptz velmora_man_pages velmora_changelog >&2

rm -rf "$build_dir/packages"
(cd "$build_dir" && cpack -G DEB) >&2
debs=("$build_dir"/packages/velmora_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    echo "package: expected one velmora_*.deb in $build_dir/packages" >&2
    exit 1
fi
realpath "${debs[0]}"

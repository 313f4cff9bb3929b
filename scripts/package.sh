#!/usr/bin/env bash
# Builds the Debian package of Kelvane (Release, no tests) in build/package and
# prints the path of the .deb. Run as root on Debian 12; install the result with
#   apt install ./build/package/kelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# cpack's Debian generator computes Depends with dpkg-shlibdeps (dpkg-dev) and
# finds the programs to inspect with file.
scripts/setup.sh dpkg-dev file >&2

# Debian's compiler and linker flags with every hardening feature (fortified
# functions, stack protector, read-only relocations bound at start, PIE), for
# the package only: the test presets keep their own flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

build=build/package
rm -f "$build"/kelvane_*.deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
cmake --build "$build" >&2

# The changelog's newest entry must name the version being packaged.
package_version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [ "$package_version" != "$changelog_version" ]; then
  echo "packaging/changelog: the newest entry is $changelog_version, the package is $package_version" >&2
  exit 1
fi

(cd "$build" && cpack >&2)
ls "$PWD/$build"/kelvane_*.deb

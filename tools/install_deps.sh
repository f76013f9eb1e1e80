#!/usr/bin/env sh
# Installs the Debian packages that building and testing Skelv need, when some are missing:
# the compiler and CMake, GoogleTest, the NetCDF C library and its tools, xmllint, and the clients the
# NetCDF read-back tests use (xarray, pandas, NCO, CDO, R ncdf4, udunits2). Quick and silent when
# everything is present. Needs root (or sudo) only when it has something to install. Further
# package names may be given.
#
#   tools/install_deps.sh [PACKAGE...]
set -eu
packages="cmake g++ libgtest-dev nlohmann-json3-dev libnetcdf-dev netcdf-bin libxml2-utils python3-xarray python3-netcdf4 python3-pandas nco cdo r-cran-ncdf4 udunits-bin pkg-config $*"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
command -v apt-get > /dev/null 2>&1 || { echo "install_deps: missing$missing, and no apt-get here" >&2; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install_deps: installing$missing" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing > /dev/null

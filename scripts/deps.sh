# Installs the Debian packages that the build and the tests need, when any is
# missing. Sourced by run.sh and test.sh.

# Debian's qt6-charts-dev leaves out libqt6opengl6-dev, which the Charts CMake
# package needs, so both are named.
EKS_PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
)

# Extra package names given as arguments are installed too (run.sh adds the
# window's font and the Polish texts of the toolkit's own dialogs).
eks_install_deps() {
  local missing=() p
  for p in "${EKS_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "Installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Refresh the package lists only when they are absent or the install fails.
  if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e lock -e partial)" ]; then
    "${sudo[@]}" apt-get update
  fi
  if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

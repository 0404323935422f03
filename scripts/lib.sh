# Shared by the scripts: package installation and the build.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Compiler cache shared by every checkout on this machine: paths below the
# checkout are hashed relative to it, so a fresh clone reuses earlier builds.
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true

RUN_PACKAGES=(cmake ninja-build g++ pkg-config ccache qt6-base-dev libqt6concurrent6 qt6-translations-l10n
  fonts-wqy-microhei libsqlcipher-dev libssl-dev libgumbo-dev libxcb1-dev libxcb-keysyms1-dev libx11-dev
  libgl-dev python3 xdg-utils
  libsodium-dev minisign)
# Chinese input in the editor and the search box: Qt 6's module for fcitx5
# (the one for IBus comes with Qt itself, in libqt6gui6).
RUN_PACKAGES+=(fcitx5-frontend-qt6 libqt6gui6)
# Glyphs beyond the common CJK set (Extension A and B, such as 㐀 𠮷 𪚥) and colour emoji.
RUN_PACKAGES+=(fonts-noto-cjk fonts-hanazono fonts-noto-color-emoji)
TEST_PACKAGES=(xvfb xauth xdotool trayer sqlite3 x11-utils curl dbus at-spi2-core python3-pyatspi
  openbox)
# The desktop portal (Ctrl+1 through GlobalShortcuts) for the tests' private session buses.
TEST_PACKAGES+=(xdg-desktop-portal)
# A standalone StatusNotifierItem watcher and tray host (the D-Bus tray).
TEST_PACKAGES+=(haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils)
# A Wayland session with XWayland inside the test X server.
TEST_PACKAGES+=(weston xwayland)
# Another program holding the database file open (the sqlcipher shell).
TEST_PACKAGES+=(sqlcipher)
# A test certificate authority for the HTTPS tests.
TEST_PACKAGES+=(openssl)
# A clock set to another day for the program under test (the backups across midnight).
TEST_PACKAGES+=(faketime)
# The desktops' own components: KDE's portal backend with kglobalaccel, KWin
# on Wayland, Xfce's panel with its tray, and the Chinese input methods.
TEST_PACKAGES+=(xdg-desktop-portal-kde libkf5globalaccel-bin kwin-wayland xfce4-panel
  fcitx5 fcitx5-chinese-addons ibus ibus-libpinyin)

# install_packages NAME... : installs the Debian packages that are missing, once.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # Another install on the machine (a second checkout's script) holds dpkg's lock
  # for a while: wait for it rather than fail.
  local lock=(-o DPkg::Lock::Timeout=900)
  "${sudo[@]}" apt-get "${lock[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
}

# configure DIR [cmake options...] : configures the build folder once.
configure() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
  fi
}

# build DIR [cmake options...] : configures once and builds everything.
build() {
  configure "$@"
  cmake --build "$1" -j "$JOBS"
}

# test_programs DIR LABEL : the test programs (tst_<area>) of the ctest
# entries <area>.<Class> labelled LABEL in a configured build folder.
test_programs() {
  (cd "$1" && ctest -N -L "$2") | sed -n 's/^ *Test *#[0-9]*: \([a-z0-9_]*\)\..*/tst_\1/p' | sort -u
}

# build_program DIR : configures once and builds only what the program folder
# needs (Varnelpad, update, the provisioning tool), no tests or benchmarks.
build_program() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
  fi
  cmake --build "$dir" -j "$JOBS" --target Varnelpad update varnel-provision
}

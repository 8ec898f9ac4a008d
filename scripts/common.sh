# Shared by ./run, ./test and ./bench: the Debian packages the project needs
# and the configure-and-build step. Sourced, not run.

KESTRAVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

KESTRAVA_PACKAGES=(
  cmake g++ ninja-build ccache pkg-config python3 clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev fonts-wqy-microhei
  libcurl4-openssl-dev curl ca-certificates openssl libssl-dev
  libpcre2-dev libicu-dev
  libjpeg-dev libpng-dev libgif-dev zlib1g-dev
  libcpp-httplib-dev tinyproxy
)

# Installs whatever of KESTRAVA_PACKAGES is missing; silent when all is there.
kestrava_install_packages() {
  local missing=()
  local p
  for p in "${KESTRAVA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# kestrava_build <build-dir> [cmake options...]: configures once, then builds.
kestrava_build() {
  local dir="$1"
  shift
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$KESTRAVA_ROOT" -B "$KESTRAVA_ROOT/$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$KESTRAVA_ROOT/$dir" -j"$(nproc)"
}

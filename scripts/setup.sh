# Shared by scripts/run, scripts/test and scripts/fuzz: installs what is missing
# and builds. Sourced, not run. Set HALVEK_SANITIZE=thread or =address to build
# with sanitizers (into build-tsan or build-asan instead of build).

set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

HALVEK_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
                 qt6-base-dev libgl-dev zlib1g-dev ccache desktop-file-utils
                 nlohmann-json3-dev libsystemd-dev
                 mosquitto mosquitto-clients libmosquitto-dev)

# The builds go through ccache: a clone elsewhere on the machine (CI's) finds
# what an earlier build compiled, since paths below the clone are hashed as
# relative ones and the working directory is left out.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

# halvek_launcher: the CMake arguments that put ccache in front of the compilers, when it is there.
halvek_launcher() {
    if command -v ccache >/dev/null 2>&1; then
        echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
    fi
}

# The fuzz targets need clang and its sanitizer and libFuzzer runtimes (the
# runtimes are only recommended by clang-14, so they are named), and llvm for
# the symbolizer that turns a finding's stack into file names and lines.
HALVEK_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm)

# halvek_missing_packages [PACKAGE...]: of the packages named (the build's, without any).
halvek_missing_packages() {
    local missing=()
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${HALVEK_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

# halvek_install [PACKAGE...]: installs what is missing of the packages named
# (the build's, without any).
halvek_install() {
    local missing
    missing=$(halvek_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "halvek: installing Debian packages: $missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
            echo "halvek: this needs root; asking sudo"
        else
            echo "halvek: these packages are missing and installing them needs root: $missing" >&2
            echo "halvek: run as root, or install them with: apt-get install $missing" >&2
            exit 1
        fi
    fi
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q || true
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
}

# Configures the build dir once (build, or build-tsan / build-asan) and sets HALVEK_BUILD_DIR.
halvek_configure() {
    local sanitize="${HALVEK_SANITIZE:-}"
    local dir=build type=Release extra=()
    # The sanitizer builds run the suite of the core, the simulator and the
    # console tools: the benchmarks and the window are left out of them (Qt itself
    # is not built with the sanitizers, and its build would double CI's time).
    case "$sanitize" in
        "") ;;
        thread) dir=build-tsan; type=RelWithDebInfo; extra=(-DHALVEK_BUILD_BENCH=OFF -DHALVEK_BUILD_UI=OFF) ;;
        address) dir=build-asan; type=RelWithDebInfo; extra=(-DHALVEK_BUILD_BENCH=OFF -DHALVEK_BUILD_UI=OFF) ;;
        *) echo "halvek: HALVEK_SANITIZE must be thread or address, not '$sanitize'" >&2; exit 2 ;;
    esac
    HALVEK_BUILD_DIR="$dir"
    if [ ! -f "$dir/build.ninja" ]; then
        # shellcheck disable=SC2046
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DHALVEK_SANITIZE="$sanitize" "${extra[@]}" \
            $(halvek_launcher)
    fi
}

# halvek_build [TARGET...]: builds the targets named, or everything without any.
halvek_build() {
    halvek_configure
    if [ $# -gt 0 ]; then
        cmake --build "$HALVEK_BUILD_DIR" -j "$(nproc)" --target "$@"
    else
        cmake --build "$HALVEK_BUILD_DIR" -j "$(nproc)"
    fi
}

# True when the configured build dir knows the target (the window needs Qt 6).
halvek_has_target() {
    ninja -C "$HALVEK_BUILD_DIR" -t query "$1" >/dev/null 2>&1
}

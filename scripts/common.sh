# Shared by demo.sh and test.sh: installs missing Debian packages, configures and builds.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${ORVPY_BUILD_DIR:-$ROOT/build}

BUILD_PACKAGES=(build-essential cmake libgsl-dev nlohmann-json3-dev pybind11-dev python3-dev)
TEST_PACKAGES=(libgtest-dev python3-pytest python3-hypothesis python3-numpy python3-scipy python3-colormath
               python3-olefile libgsf-bin clang libclang-rt-dev clang-format mypy python3-venv python3-pip
               python3-pandas python3-matplotlib python3-tqdm python3-distributed flake8 black clang-tidy
               python3-pydocstyle chromium poppler-utils)

# Installs those of the given packages that are not installed yet.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return
    fi
    echo "Installing ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures the build tree with the given extra CMake arguments.
configure() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DORVPY_WERROR=ON "$@"
}

# Shared by scripts/run, scripts/test and scripts/bench: install what is missing, configure, build.
# shellcheck shell=bash

QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the tests, the checks, the window, the search across MPI ranks,
# checkpoints and traces (HDF5; h5py for reading them in Python), the plots, the sweeps, PNG
# screenshots (SDL2_image), physics files (toml++), videos (ffmpeg) and the Python package (pybind11, numpy, pytest) need.
QM_PACKAGES=(
    build-essential cmake ninja-build pkg-config python3
    libgtest-dev libgmock-dev libbenchmark-dev
    libglm-dev libsdl2-dev libsdl2-ttf-dev libfontconfig-dev libassimp-dev libgl-dev
    fontconfig fonts-dejavu-core
    xvfb xauth xdotool imagemagick x11-utils libgl1-mesa-dri
    clang-format clang-tidy
    libcli11-dev libstb-dev libtomlplusplus-dev
    clang libclang-rt-14-dev
    libopenmpi-dev openmpi-bin
    python3-matplotlib python3-pandas
    libhdf5-dev python3-h5py parallel
    libsdl2-image-dev ffmpeg
    pybind11-dev python3-numpy python3-pytest python3-dev
    python3-mpi4py python3-nbclient python3-ipykernel
)

qm_install_packages() {
    local missing=()
    for p in "${QM_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# qm_build PRESET [cmake options...] [--target T]: configure with a preset of CMakePresets.json and
# build (only T when given).
qm_build() {
    local preset=$1
    shift
    local target=()
    if [ "${*: -2:1}" = "--target" ]; then
        target=(--target "${*: -1}")
        set -- "${@:1:$(($# - 2))}"
    fi
    (cd "$QM_ROOT" && cmake --preset "$preset" "$@" >/dev/null &&
        cmake --build --preset "$preset" -j "$(nproc)" "${target[@]}")
}

# Sourced by the other scripts: installs the Debian packages that building,
# running and testing need, when any of them is missing.
TAVOLIN_PACKAGES="g++ cmake make libgtest-dev libbenchmark-dev qt6-base-dev libxkbcommon-dev xvfb xauth imagemagick fonts-thai-tlwg fonts-symbola librsvg2-bin help2man desktop-file-utils appstream shared-mime-info dpkg-dev file man-db libcli11-dev libgettextpo-dev gettext clang-tidy cppcheck clang libclang-rt-14-dev libfuzzer-14-dev nlohmann-json3-dev libpugixml-dev translate-toolkit"

tavolin_install_deps() {
    local missing=()
    for pkg in $TAVOLIN_PACKAGES; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo="sudo"
        else
            echo "Missing Debian packages: ${missing[*]}" >&2
            echo "Install them as root, then run this again:" >&2
            echo "    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "Installing missing packages: ${missing[*]}"
    $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Sourced by the other scripts: installs the Debian packages that building,
# running and testing need, when any of them is missing.
TAVOLIN_PACKAGES="g++ cmake make libgtest-dev libbenchmark-dev qt6-base-dev libxkbcommon-dev xvfb xauth imagemagick fonts-thai-tlwg libcli11-dev libgettextpo-dev gettext"

tavolin_install_deps() {
    local missing=()
    for pkg in $TAVOLIN_PACKAGES; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "Run as root, or install them first: apt-get install ${missing[*]}" >&2
            return 1
        fi
    fi
    $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

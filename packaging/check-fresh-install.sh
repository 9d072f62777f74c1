#!/bin/bash
# Installs the Debian package on a brand-new Debian 12, uses both programs, removes it and looks for
# anything left behind. Run inside a fresh root, with the folder that holds the package made by
# `cpack -G DEB` (see README, "Install"):
#   SHARED=DIR ../shared/tools/fresh-machine.sh . "bash packaging/check-fresh-install.sh /shared"
set -euo pipefail
debs=${1:?usage: check-fresh-install.sh FOLDER-WITH-THE-PACKAGE}
here=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
snapshot() { find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path "$here" -o -path "$debs" -o -path /var/cache -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/log -o -path /tmp -o -path /root \) -prune -o -print | sort; }
snapshot > /tmp/before
deb=$(ls "$debs"/lumenor_*.deb)
apt-get install -y -qq "$deb" > /tmp/install.log 2>&1 || { cat /tmp/install.log; exit 1; }
echo "installed: $(dpkg -s lumenor | grep -E '^Version')"
lumenor-cli --version
QT_QPA_PLATFORM=offscreen lumenor --help | head -2
printf 'P3\n2 1\n255\n255 0 0 0 0 255\n' > /tmp/t.ppm
lumenor-cli convert /tmp/t.ppm /tmp/t.png
lumenor-cli info /tmp/t.png     # answered by the program alone
lumenor-cli info /tmp/t.ppm     # by the commands module
lumenor-cli info --full "$here/tests/data/avi/raw24.avi"   # decoded by the video module from the installed location
test -f /usr/share/applications/org.lumenor.Lumenor.desktop
test -f /usr/share/man/man1/lumenor-cli.1.gz
test -f /usr/lib/lumenor/liblumenor-video.so
test -f /usr/lib/lumenor/liblumenor-commands.so
apt-get purge -y -qq lumenor > /tmp/purge.log 2>&1
apt-get autoremove --purge -y -qq > /tmp/autoremove.log 2>&1
if dpkg -l lumenor 2>/dev/null | grep -q '^ii'; then echo "still installed"; exit 1; fi
snapshot > /tmp/after
left=$(comm -13 /tmp/before /tmp/after | grep -i lumenor || true)
if [ -n "$left" ]; then echo "left behind:"; echo "$left"; exit 1; fi
echo "$(comm -13 /tmp/before /tmp/after | wc -l) other new paths remain (none of them names lumenor)"
hash -r  # forget where bash found the programs while they were installed
if command -v lumenor-cli lumenor; then echo "still on PATH"; exit 1; fi
echo DEB-INSTALL-REMOVE-OK

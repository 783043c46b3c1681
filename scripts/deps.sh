# SPDX-License-Identifier: MIT
# Sourced by run.sh and test.sh: installs the Debian packages the build needs
# when some are missing, as root or through sudo.
# dpkg-dev: dpkg-shlibdeps, which computes the package's Depends.
TESSIRO_PACKAGES=(g++ cmake ninja-build qt6-base-dev libgtest-dev dpkg-dev qt6-httpserver-dev qt6-websockets-dev)
# Qt's own Italian texts for the standard buttons (Sì/No, OK/Annulla).
TESSIRO_PACKAGES+=(qt6-translations-l10n)

install_deps() {
  local missing=()
  local p
  for p in "${TESSIRO_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" != 0 ]; then
    if command -v sudo >/dev/null; then sudo=(sudo); else
      echo "Missing packages: ${missing[*]} (run as root or install sudo)" >&2; return 1; fi
  fi
  echo "Installing: ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The shops run in an Italian locale, where the decimal sign is a comma; the
# tests that check that amounts do not follow the process locale need one.
# Generated once when missing (root or sudo); without it those tests skip.
install_comma_locale() {
  locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8' && return 0
  local sudo=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null || return 0
    sudo=(sudo -n)
  fi
  if ! install_deps locales || ! "${sudo[@]}" localedef -i it_IT -c -f UTF-8 it_IT.UTF-8; then
    echo "Could not generate it_IT.UTF-8: the locale tests will skip" >&2
  fi
}

# The sshfs end-to-end test mounts a folder over sshfs from an sshd of its
# own (127.0.0.1, a free port). Optional: without these packages, or where
# they cannot be installed, that test skips and nothing else fails. The
# install starts no system sshd: a policy-rc.d refusing service starts is in
# place for it (Debian's way), unless the machine has one already.
install_share_tools() {
  command -v sshfs >/dev/null && [ -x /usr/sbin/sshd ] && return 0
  local sudo=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null || return 0
    sudo=(sudo -n)
  fi
  local policy=/usr/sbin/policy-rc.d placed=0
  if [ ! -e "$policy" ] &&
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null &&
    "${sudo[@]}" chmod 755 "$policy"; then
    placed=1
  fi
  if ! install_deps sshfs openssh-server; then
    echo "Could not install sshfs and openssh-server: the sshfs test will skip" >&2
  fi
  if [ "$placed" = 1 ]; then "${sudo[@]}" rm -f "$policy"; fi
  return 0
}

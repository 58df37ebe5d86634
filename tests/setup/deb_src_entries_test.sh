#!/usr/bin/env bash
# scripts/deb-src-entries on sample apt sources: a mirror, a proxy, options,
# comments, other suites, disabled stanzas and an inline signing key. Catches
# source entries that name another host, lose the signing key or options, or
# pick up suites and entries apt does not use.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/sources.list" <<'LIST'
# deb http://commented.example/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/mirror.gpg] http://mirror.example.org/debian bookworm main contrib
  deb http://proxy.example:3142/debian bookworm-updates main   # trailing comment
deb http://mirror.example.org/debian-security bookworm-security main
deb-src http://mirror.example.org/debian bookworm main
deb [ trusted=yes ] file:/srv/local-repo bookworm main
deb http://other.example/apt nodistro main
LIST

cat >"$work/mirror.sources" <<'SOURCES'
# A mirror with both types and a backports suite
Types: deb deb-src
URIs: https://mirror.example.net/debian/
Suites: bookworm bookworm-updates bookworm-backports
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
Enabled: no
URIs: http://disabled.example/debian
Suites: bookworm
Components: main

types: deb
uris: http://inline.example/debian
suites: bookworm
components: main
signed-by:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD9K7i
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb-src
URIs: http://only-source.example/debian
Suites: bookworm
Components: main
SOURCES

cat >"$work/expected" <<'EXPECTED'
Types: deb-src
URIs: http://mirror.example.org/debian
Suites: bookworm
Components: main contrib
Signed-By: /usr/share/keyrings/mirror.gpg

Types: deb-src
URIs: http://proxy.example:3142/debian
Suites: bookworm-updates
Components: main

Types: deb-src
URIs: file:/srv/local-repo
Suites: bookworm
Components: main
Trusted: yes

Types: deb-src
URIs: https://mirror.example.net/debian/
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://inline.example/debian
Suites: bookworm
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD9K7i
 -----END PGP PUBLIC KEY BLOCK-----
EXPECTED

"$root/scripts/deb-src-entries" bookworm "$work/sources.list" "$work/missing.list" "$work/mirror.sources" \
    >"$work/actual"
if ! diff -u "$work/expected" "$work/actual"; then
    echo "deb-src entries differ from the expected ones (above)" >&2
    exit 1
fi
# Nothing to derive: no output, no failure.
"$root/scripts/deb-src-entries" trixie "$work/sources.list" >"$work/none"
[ ! -s "$work/none" ] || { echo "entries for a suite the machine does not use" >&2; exit 1; }
echo "deb-src entries as expected"

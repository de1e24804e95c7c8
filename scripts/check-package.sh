#!/usr/bin/env bash
# Checks a built Debian package the way a user meets it: what it installs,
# what it depends on, what lintian says of it (no error, no warning), and that
# the programs run from an unpacked copy.
#
#   scripts/check-package.sh build/release/velmar_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -ne 1 || ! -f $1 ]]; then
  echo "usage: $0 PACKAGE.deb" >&2
  exit 2
fi
deb=$1
fail() {
  echo "check-package: $*" >&2
  exit 1
}

version=$(dpkg-deb -f "$deb" Version)
echo "== $deb (version $version)"
dpkg-deb -c "$deb"

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in \
  ./usr/bin/velmar ./usr/bin/velmarctl ./usr/bin/velmar-framesim ./usr/bin/velmar-server \
  ./usr/share/applications/org.velmar.Velmar.desktop \
  ./usr/share/icons/hicolor/scalable/apps/org.velmar.Velmar.svg \
  ./usr/share/metainfo/org.velmar.Velmar.metainfo.xml \
  ./usr/share/man/man1/velmar.1.gz ./usr/share/man/man1/velmarctl.1.gz \
  ./usr/share/man/man1/velmar-framesim.1.gz ./usr/share/man/man1/velmar-server.1.gz \
  ./lib/systemd/system/velmar-server.service ./etc/velmar/server.conf \
  ./usr/share/doc/velmar/copyright ./usr/share/doc/velmar/changelog.gz \
  ./usr/share/bash-completion/completions/velmarctl; do
  grep -qxF "$path" <<<"$listing" || fail "$path is missing from the package"
done

# The service's configuration is a conffile: an upgrade keeps the
# administrator's edits.
dpkg-deb -I "$deb" conffiles | grep -qxF /etc/velmar/server.conf ||
  fail "/etc/velmar/server.conf is not marked as a conffile"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libqt6core6* && $depends == *libqt6widgets6* && $depends == *libqt6network6* ]] ||
  fail "the dependencies do not name the Qt 6 runtime"

# Debian's policy checks: any error or warning fails; overrides, each with its
# reason, would go in packaging/lintian-overrides (none are needed).
lintian --fail-on error,warning --tag-display-limit 0 "$deb" || fail "lintian reports problems"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
# The programs run from the unpacked tree; Qt comes from the system. Inside a
# private network namespace like everything else that starts them.
# The unit starts the packaged program with the packaged configuration.
grep -qxF "ExecStart=/usr/bin/velmar-server --config /etc/velmar/server.conf" \
  "$root/lib/systemd/system/velmar-server.service" ||
  fail "the unit does not start /usr/bin/velmar-server with /etc/velmar/server.conf"
for program in velmarctl velmar-framesim velmar velmar-server; do
  out=$(scripts/in-netns.sh "$root/usr/bin/$program" --version)
  echo "$program --version: $out"
  [[ $out == "$program $version" ]] || fail "$program --version says '$out', the package is $version"
done
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.velmar.Velmar.metainfo.xml"
fi
echo "== package checked"

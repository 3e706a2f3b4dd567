#!/usr/bin/env bash
# check_install.sh BUILD_DIR ID VERSION: installs BUILD_DIR into a scratch folder and checks it.
set -uo pipefail
build=$1 id=$2 version=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root" >/dev/null || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

expected=(bin/twinlens-cli share/man/man1/twinlens-cli.1
  share/bash-completion/completions/twinlens-cli
  lib/twinlens/Applications/iPhoto.app/Contents/MacOS/iPhoto
  lib/twinlens/Applications/iPhoto.app/Contents/Info.plist)
programs=(twinlens-cli)
if [[ -x $build/src/app/twinlens ]]; then
  expected+=(bin/twinlens share/man/man1/twinlens.1 share/twinlens/help/index.html
    "share/applications/$id.desktop" "share/icons/hicolor/scalable/apps/$id.svg"
    "share/metainfo/$id.metainfo.xml")
  programs+=(twinlens)
fi
for path in "${expected[@]}"; do [[ -e $root/$path ]] || fail "$path not installed"; done

# Argument, exit status, the start of standard output (none: empty), whether standard error
# carries the usage. The application must answer before it needs a display.
for program in "${programs[@]}"; do
  while IFS='|' read -r argument status output usage; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/$program" $argument \
      2>"$root/stderr")
    got=$?
    output=${output//PROGRAM/$program}
    [[ $got == "$status" ]] || fail "$program $argument: exit status $got, not $status"
    [[ $out == "$output"* && (-n $output || -z $out) ]] || fail "$program $argument printed: $out"
    [[ $usage == no ]] || grep -q "^usage: $program" "$root/stderr" ||
      fail "$program $argument: no usage on standard error"
  done <<TABLE
--version|0|PROGRAM $version|no
--help|0|usage: PROGRAM|no
--bogus|2||yes
TABLE
done

for tool in desktop-file-validate appstreamcli; do
  command -v $tool >/dev/null || echo "SKIP: $tool is not installed (scripts/setup installs it)"
done
if [[ " ${programs[*]} " == *" twinlens "* ]]; then
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop entry"
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" || fail "metainfo"
  fi
fi
exit $failed

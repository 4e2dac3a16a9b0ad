#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# user meet there: the layout, the launcher and AppStream files validated by
# the tools desktops use, and the installed tansu-cli running with its
# writable files in the user's data folder, never in the prefix.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

id=org.tansu.Tansu
for path in bin/tansu-cli share/tansu/language/Japanese.ini share/tansu/language/English.ini \
            share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
            share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
            share/icons/hicolor/256x256/apps/$id.png; do
  [ -e "$prefix/$path" ] || { echo "missing after install: $path"; exit 1; }
done
if [ -e "$build/bin/tansu" ]; then
  [ -x "$prefix/bin/tansu" ] || { echo "missing after install: bin/tansu"; exit 1; }
fi
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null

before=$(cd "$prefix" && find . | sort)
export HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$work/pc/BASLUS-00001"
help=$("$prefix/bin/tansu-cli" --help)
grep -q "list pc DIR" <<<"$help"
"$prefix/bin/tansu-cli" list pc "$work/pc" >/dev/null
after=$(cd "$prefix" && find . | sort)
[ "$before" = "$after" ] || { echo "the installed program wrote into its prefix"; diff <(echo "$before") <(echo "$after"); exit 1; }
[ -f "$XDG_DATA_HOME/tansu/log.txt" ] || { echo "no log in \$XDG_DATA_HOME/tansu/"; ls -laR "$work/data" || true; exit 1; }
echo "installed layout, launcher, AppStream data and tansu-cli checked"

#!/usr/bin/env bash
# Installs a build into a staging folder and checks what lands there.
# Usage: install_check.sh BUILD_DIR
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr/local >/dev/null
status=0
for file in bin/qavprof bin/qavcvt share/man/man1/qavprof.1 share/man/man1/qavcvt.1; do
    if [ ! -f "$stage/usr/local/$file" ]; then
        echo "missing: /usr/local/$file"
        status=1
    fi
done
cd "$stage"
printf 'QAV' >tiny.CQav
"$stage/usr/local/bin/qavcvt" tiny.CQav && grep -q '^81,65,86,0};$' tiny_QAV.c ||
    { echo "installed qavcvt does not work"; status=1; }
printf 'h\nrule 1 1 1 1 1 1 1\n' >qav.rprofout
"$stage/usr/local/bin/qavprof" 2>/dev/null | grep -q '^rule ' ||
    { echo "installed qavprof does not work"; status=1; }
[ $status -eq 0 ] && echo "installed and ran"
exit $status

#!/usr/bin/env bash
# Checks the Debian package: lintian finds no error, its dependencies name
# the libc version the programs need, and both programs run from a scratch
# root the package is unpacked into.
# Usage: package_check.sh PACKAGE.deb
set -eu
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
lintian --no-tag-display-limit "$deb" >"$root/lintian" 2>&1 || true
if grep -q '^E:' "$root/lintian"; then
    grep '^E:' "$root/lintian"
    status=1
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "$depends" | grep -Eq 'libc6 \(>= [0-9.]+\)' || { echo "FAIL: no versioned libc6"; status=1; }
dpkg -x "$deb" "$root/fs"
cd "$root"
printf 'QAV' >tiny.CQav
"$root/fs/usr/bin/qavcvt" -e tiny.CQav && grep -q '^81,65,86,0};$' tiny_QAV.c ||
    { echo "FAIL: qavcvt from the package"; status=1; }
printf 'h\nrule 1 1 1 1 1 1 1\n' >qav.rprofout
"$root/fs/usr/bin/qavprof" 2>/dev/null | grep -q '^rule ' || { echo "FAIL: qavprof from the package"; status=1; }
zcat "$root/fs/usr/share/man/man1/qavcvt.1.gz" | grep -q '^.TH QAVCVT' || { echo "FAIL: manual page"; status=1; }
[ -f "$root/fs/usr/share/doc/qav-tools/copyright" ] || { echo "FAIL: no copyright file"; status=1; }
for file in bash-completion/completions/qavprof bash-completion/completions/qavcvt \
    zsh/vendor-completions/_qavprof zsh/vendor-completions/_qavcvt \
    fish/vendor_completions.d/qavprof.fish fish/vendor_completions.d/qavcvt.fish \
    qav-tools/qavprof.schema.json; do
    if [ -f "$root/fs/usr/share/$file" ]; then echo "ships /usr/share/$file"
    else echo "FAIL: no $file"; status=1; fi
done
# Warnings too, for the reader: the package is meant to draw none.
grep -c '^W:' "$root/lintian" | sed 's/^/lintian warnings: /'
[ $status -eq 0 ] && echo "package: 1 passed, 0 failed"
exit $status

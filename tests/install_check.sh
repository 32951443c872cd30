#!/usr/bin/env bash
# Installs a build into a staging folder with `make install`, checks what
# lands there, runs the installed programs, builds the CMake example against
# the installed package and runs it, then checks that `make uninstall`
# removes exactly what was installed.
# Usage: install_check.sh SOURCE_DIR BUILD_DIR
set -eu
source=$1
build=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=$stage/usr/local
make -s -C "$source" install PREFIX="$prefix" BUILD_DIR="$build" >/dev/null
status=0
for file in bin/qavprof bin/qavcvt share/man/man1/qavprof.1.gz share/man/man1/qavcvt.1.gz \
    share/doc/qav-tools/copyright lib/cmake/QavTools/QavToolsConfig.cmake; do
    [ -f "$prefix/$file" ] || { echo "missing: $file"; status=1; }
done
file -b "$prefix/bin/qavcvt" | grep -q 'not stripped' && { echo "qavcvt is not stripped"; status=1; }
cd "$stage"
printf 'QAV' >tiny.CQav
"$prefix/bin/qavcvt" tiny.CQav && grep -q '^81,65,86,0};$' tiny_QAV.c ||
    { echo "installed qavcvt does not work"; status=1; }
printf 'h\nrule 1 1 1 1 1 1 1\n' >qav.rprofout
"$prefix/bin/qavprof" 2>/dev/null | grep -q '^rule ' ||
    { echo "installed qavprof does not work"; status=1; }

# The CMake example, a C++-only project with two embedded programs, built
# with Ninja in a copy of its own: it builds and checks its bytes; a
# program touched but not changed is converted again, but nothing is
# recompiled; a changed one is, and the new bytes are in.
cp -r "$source/examples/cmake" "$stage/src"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$stage/src" -B "$stage/example" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
    cmake --build "$stage/example" >/dev/null && "$stage/example/embedded" >/dev/null ||
    { echo "the CMake example does not build or run against the installed package"; status=1; }
if [ ${#generator[@]} -gt 0 ]; then
    touch "$stage/src/program.CQav"
    cmake --build "$stage/example" >"$stage/log"
    grep -q 'Embedding program.CQav' "$stage/log" ||
        { echo "qav_embed does not convert again after the program was touched"; status=1; }
    grep -q 'Building' "$stage/log" &&
        { echo "an unchanged program was compiled again:"; cat "$stage/log"; status=1; }
    printf 'more' >>"$stage/src/program.CQav"
    cmake --build "$stage/example" >"$stage/log"
    grep -q 'Building.*program_QAV' "$stage/log" && "$stage/example/embedded" >/dev/null ||
        { echo "a changed program was not compiled in again"; status=1; }
else
    echo "no ninja: the test of what is recompiled was skipped"
fi

# Uninstalling removes every installed file and the folders install made,
# and nothing else: not a file of someone else's, nor the folder holding it.
cp "$build/install_manifest.txt" "$stage/manifest"
touch "$prefix/bin/someone-else"
make -s -C "$source" uninstall BUILD_DIR="$build" >/dev/null
while IFS= read -r file || [ -n "$file" ]; do
    [ -e "$file" ] && { echo "left: $file"; status=1; }
done <"$stage/manifest"
[ -e "$prefix/bin/someone-else" ] || { echo "uninstall removed a file it did not install"; status=1; }
left=$(cd "$prefix" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./bin ./bin/someone-else " ] || { echo "uninstall left: $left"; status=1; }
[ $status -eq 0 ] && echo "install: 1 passed, 0 failed"
exit $status

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
    share/doc/qav-tools/copyright lib/cmake/QavTools/QavToolsConfig.cmake \
    share/bash-completion/completions/qavprof share/bash-completion/completions/qavcvt \
    share/zsh/vendor-completions/_qavprof share/zsh/vendor-completions/_qavcvt \
    share/fish/vendor_completions.d/qavprof.fish share/fish/vendor_completions.d/qavcvt.fish \
    share/qav-tools/qavprof.schema.json; do
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

# The CMake example, a C++-only project with three embedded programs, two
# of them of one base name, in the fastest form the compiler builds (the
# assembler's .incbin with gcc), built with Ninja and with Makefiles in a
# copy of its own: it builds and checks its bytes; a program touched but
# not changed is converted again, but nothing is compiled, and the build
# after that does nothing at all; a changed one is compiled, and the new
# bytes are in.
quiet() { ! grep -E 'Embedding|Building|Linking' "$1" >/dev/null; }
for generator in Ninja "Unix Makefiles"; do
    tag=${generator// /-}
    if [ "$generator" = Ninja ] && ! command -v ninja >/dev/null; then
        echo "no ninja: the example's build with Ninja was skipped"
        continue
    fi
    src=$stage/src-$tag example=$stage/example-$tag
    cp -r "$source/examples/cmake" "$src"
    build() { cmake --build "$example" >"$stage/log" 2>&1; }
    problem() { echo "$generator: $1"; cat "$stage/log"; status=1; }
    cmake -S "$src" -B "$example" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
        build && "$example/embedded" >/dev/null ||
        { problem "the CMake example does not build or run against the installed package"; continue; }
    grep -q 'incbin' "$example/qav_embed/embedded/program_QAV.c" ||
        problem "qav_embed did not take the incbin form with gcc"
    touch "$src/program.CQav"
    build
    grep -q 'Embedding program.CQav' "$stage/log" || problem "a touched program is not converted again"
    grep -q 'Building' "$stage/log" && problem "an unchanged program was compiled again"
    build
    quiet "$stage/log" || problem "the build after a touch and a build does not settle"
    printf 'more' >>"$src/v2/program.CQav"
    build
    grep -q 'Building.*program_v2_QAV' "$stage/log" && "$example/embedded" >/dev/null ||
        problem "a changed program was not compiled in again"
    build
    quiet "$stage/log" || problem "the build after a change does not settle"
done

# Two programs of one base name without a NAME: qav_embed names both.
mkdir -p "$stage/clash/a" "$stage/clash/b"
printf 'A' >"$stage/clash/a/prog.CQav"
printf 'B' >"$stage/clash/b/prog.CQav"
printf '%s\n' 'cmake_minimum_required(VERSION 3.20)' 'project(clash C)' \
    'find_package(QavTools REQUIRED)' 'add_executable(clash main.c)' \
    'qav_embed(clash a/prog.CQav)' 'qav_embed(clash b/prog.CQav)' >"$stage/clash/CMakeLists.txt"
printf 'int main(void) { return 0; }\n' >"$stage/clash/main.c"
if cmake -S "$stage/clash" -B "$stage/clash/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>"$stage/log" ||
    ! tr -s ' \n' '  ' <"$stage/log" | grep -q 'b/prog.CQav and a/prog.CQav would both be embedded in clash as prog_QAV.*another NAME'; then
    echo "two programs of one base name are not refused with both names:"; cat "$stage/log"; status=1
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

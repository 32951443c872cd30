# Front end over CMake (make help lists the targets).
#   make demo     builds the programs alone and runs them on the examples
#   make check    installs what the tests need when it can, builds
#                 everything and runs the suite
#   make check-all  every check, as CI runs them (see CHECKS below)
# check-i386, check-aarch64, check-clang and check-sanitize do as check for
# the other builds; check-same compares the output of the native and the
# i386 programs; check-large tries files past 2 GiB; check-package builds
# and checks the Debian package.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# make help: the targets, a line each.
define HELP
make              build the programs and the tests in build/
make demo         build the programs alone and run them on examples/
make check        install what the tests need when it can, build, run the suite
make check-large  the tests of files past 2 GiB, native and i386
make check-i386, check-aarch64, check-clang, check-sanitize
                  the suite on the other builds (build-NAME/)
make check-same   the native and the i386 programs write the same bytes
make fuzz         the fuzz targets for FUZZ_SECONDS (60) each, with libFuzzer
make check-all    every check, as CI runs them
make bench        speed and memory beside the peer tools and the floor
make install      the programs, manual pages and CMake package (PREFIX, DESTDIR)
make uninstall    what make install put there
make package      a Debian package in build/; make check-package checks it
make clean        every build folder
endef
export HELP

help:
	@printf '%s\n' "$$HELP"

CMAKE_FLAGS ?=
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

PREFIX ?= /usr/local

# Progress and errors, not the directory changes of the nested makes.
MAKEFLAGS += --no-print-directory

all: build

build/CMakeCache.txt:
	cmake -S . -B build $(CMAKE_FLAGS)

build: build/CMakeCache.txt
	cmake --build build -j $(JOBS)

programs: build/CMakeCache.txt
	cmake --build build -j $(JOBS) --target qavprof qavcvt

deps:
	.ci/deps check

check: deps
	@echo "== configuring build/ (cmake, quietly)"
	cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@echo "== building the programs and the tests"
	cmake --build build -j $(JOBS)
	@echo "== running the suite; left out: cvt_large (files past 2 GiB, several minutes: make check-large)"
	cd build && ctest --output-on-failure -j $(JOBS) -LE large

# Inputs and outputs past 2 GiB, on both builds.
check-large: build build-i386
	cd build && ctest --output-on-failure -L large
	cd build-i386 && ctest --output-on-failure -L large

# The tools on the bundled examples; needs a C++ compiler and CMake only.
demo: programs
	examples/demo.sh build/bin

# make install [PREFIX=/usr/local] [DESTDIR=staging-folder]: stripped
# programs, manual pages, licence and CMake package; make uninstall
# removes exactly the files it put there, then the folders it made that
# are empty again. BUILD_DIR names the build to install from.
BUILD_DIR ?= build
install: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target qavprof qavcvt manual_pages
	@# The folders this install makes: a staged install shows which it
	@# needs, and those that do not exist yet are noted, deepest first.
	@rm -rf $(BUILD_DIR)/stage
	@DESTDIR=$(abspath $(BUILD_DIR))/stage cmake --install $(BUILD_DIR) --prefix $(PREFIX) >/dev/null
	@(cd $(BUILD_DIR)/stage && find . -mindepth 1 -type d | sed 's/^\.//' | \
	    while IFS= read -r dir; do [ -d "$(DESTDIR)$$dir" ] || printf '%s\n' "$$dir"; done; \
	    cat ../install_dirs.txt 2>/dev/null) | sort -ru >$(BUILD_DIR)/install_dirs.new
	@rm -rf $(BUILD_DIR)/stage
	@mv $(BUILD_DIR)/install_dirs.new $(BUILD_DIR)/install_dirs.txt
	cmake --install $(BUILD_DIR) --prefix $(PREFIX) --strip

# CMake's manifest has no newline after its last line: read it too.
uninstall:
	@test -f $(BUILD_DIR)/install_manifest.txt || { echo "nothing installed from $(BUILD_DIR)/"; exit 1; }
	@while IFS= read -r file || [ -n "$$file" ]; do rm -f "$(DESTDIR)$$file"; echo "removed $(DESTDIR)$$file"; done \
	    <$(BUILD_DIR)/install_manifest.txt
	@if [ -f $(BUILD_DIR)/install_dirs.txt ]; then \
	    while IFS= read -r dir; do \
	        rmdir "$(DESTDIR)$$dir" 2>/dev/null && echo "removed $(DESTDIR)$$dir/" || true; \
	    done <$(BUILD_DIR)/install_dirs.txt; fi
	@rm -f $(BUILD_DIR)/install_manifest.txt $(BUILD_DIR)/install_dirs.txt

# A Debian package in build/.
package: build
	cd build && cpack -G DEB

check-package: package
	tests/package_check.sh build/qav-tools_*.deb

bench: build
	.ci/deps bench
	bench/bench.sh

# The other builds, each in build-NAME/ with its own configuration:
#   i386      the 32-bit x86 build (g++-multilib)
#   aarch64   aarch64 Linux, cross-built with clang and run under
#             qemu-aarch64-static (.ci/deps all installs both and registers
#             the emulator)
#   clang     the native programs and tests built with clang, and with the
#             plain code alone (no x86 vectors, no Linux calls), so that the
#             tests run it too
#   sanitize  AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz      the fuzz targets, with clang's libFuzzer
# check-NAME runs a build's tests (but those past 2 GiB); SAME_NAME says
# whose programs must write the same bytes as the native ones.
CONFIG_i386 = -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32
CONFIG_aarch64 = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake -DQAV_CHECK_LIBC_ONLY=OFF
SAME_aarch64 = yes
ENV_clang = CC=clang CXX=clang++
CONFIG_clang = -DQAV_PLAIN=ON
SAME_clang = yes
CONFIG_sanitize = -DCMAKE_BUILD_TYPE=Debug -DQAV_CHECK_LIBC_ONLY=OFF \
  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)"
FUZZ_FLAGS = -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer
ENV_fuzz = CC=clang CXX=clang++
CONFIG_fuzz = -DQAV_FUZZ=ON -DQAV_TESTS=OFF -DQAV_CHECK_LIBC_ONLY=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_C_FLAGS=$(FUZZ_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
VARIANTS = i386 aarch64 clang sanitize

build-%/CMakeCache.txt:
	$(ENV_$*) cmake -S . -B build-$* $(CONFIG_$*) $(CMAKE_FLAGS)

$(addprefix build-,$(VARIANTS)): build-%: build-%/CMakeCache.txt
	cmake --build build-$* -j $(JOBS)

$(addprefix check-,$(VARIANTS)): check-%: build build-%
	cd build-$* && ctest --output-on-failure -j $(JOBS) -LE large
	$(if $(SAME_$*),tests/same_output.sh build/bin build-$*/bin)

# The native and the i386 programs must write the same bytes.
check-same: build build-i386
	tests/same_output.sh build/bin build-i386/bin

# Fuzz each target for FUZZ_SECONDS under ASan and UBSan.
FUZZ_SECONDS ?= 60

fuzz: build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS) --target profile_fuzz convert_fuzz
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# Every check, in the order CI runs them (.ci/run): the native tests, the
# other builds' tests, files past 2 GiB, the same bytes from every build,
# a bounded fuzzing run, the demo and the package.
CHECKS = check check-i386 check-aarch64 check-clang check-large check-same check-sanitize fuzz \
         demo-quiet check-package

check-all: $(CHECKS)

demo-quiet: programs
	examples/demo.sh build/bin >/dev/null

clean:
	rm -rf build $(addprefix build-,$(VARIANTS) fuzz)

.PHONY: all help build programs demo demo-quiet deps install uninstall package check-package bench \
        fuzz check check-large check-same check-all clean \
        $(addprefix build-,$(VARIANTS)) $(addprefix check-,$(VARIANTS))

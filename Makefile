# Front end over CMake.
#   make demo     builds the programs alone and runs them on the examples
#   make check    installs what the tests need when it can, builds
#                 everything and runs the suite
# check-i386 and check-sanitize do the same for the 32-bit x86 build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build; check-same compares
# the output of the native and the i386 programs; check-large tries files
# past 2 GiB; check-package builds and checks the Debian package.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

PREFIX ?= /usr/local

# Progress and errors, not the directory changes of the nested makes.
MAKEFLAGS += --no-print-directory

.PHONY: all build programs build-i386 demo deps install uninstall package check-package \
        bench fuzz check check-i386 check-large check-sanitize check-same check-all clean

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
	cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)
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
# removes exactly the files it put there.
install: programs
	cmake --build build --target manual_pages
	cmake --install build --prefix $(PREFIX) --strip

BUILD_DIR ?= build
uninstall:
	@test -f $(BUILD_DIR)/install_manifest.txt || { echo "nothing installed from $(BUILD_DIR)/"; exit 1; }
	@while IFS= read -r file; do rm -f "$(DESTDIR)$$file"; echo "removed $(DESTDIR)$$file"; done \
	    <$(BUILD_DIR)/install_manifest.txt
	@rm -f $(BUILD_DIR)/install_manifest.txt

# A Debian package in build/.
package: build
	cd build && cpack -G DEB

check-package: package
	tests/package_check.sh build/qav-tools_*.deb

bench: build
	bench/bench.sh

build-i386/CMakeCache.txt:
	cmake -S . -B build-i386 -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 $(CMAKE_FLAGS)

build-i386: build-i386/CMakeCache.txt
	cmake --build build-i386 -j $(JOBS)

check-i386: build-i386
	cd build-i386 && ctest --output-on-failure -j $(JOBS) -LE large

build-sanitize/CMakeCache.txt:
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQAV_CHECK_LIBC_ONLY=OFF \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" $(CMAKE_FLAGS)

check-sanitize: build-sanitize/CMakeCache.txt
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS) -LE large

# The native and the i386 programs must write the same bytes.
check-same: build build-i386
	tests/same_output.sh build/bin build-i386/bin

# Fuzz each target for FUZZ_SECONDS under ASan and UBSan.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer

build-fuzz/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQAV_FUZZ=ON -DQAV_TESTS=OFF \
	  -DQAV_CHECK_LIBC_ONLY=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  "-DCMAKE_C_FLAGS=$(FUZZ_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" $(CMAKE_FLAGS)

fuzz: build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS) --target profile_fuzz convert_fuzz
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

check-all: check check-i386 check-large check-sanitize check-same fuzz check-package

clean:
	rm -rf build build-i386 build-sanitize build-fuzz

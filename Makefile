# Front end over CMake. `make check` builds and runs every test natively;
# check-i386 and check-sanitize do the same for the 32-bit x86 build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build; check-same compares
# the output of the native and the i386 programs.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

PREFIX ?= /usr/local

.PHONY: all build build-i386 demo install package bench fuzz check check-i386 check-large check-sanitize check-same check-all clean

all: build

build:
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

check: build
	cd build && ctest --output-on-failure -j $(JOBS) -LE large

# Inputs and outputs past 2 GiB, on both builds.
check-large: build build-i386
	cd build && ctest --output-on-failure -L large
	cd build-i386 && ctest --output-on-failure -L large

# The tools on the bundled examples.
demo: build
	examples/demo.sh build/bin

# make install [PREFIX=/usr/local] [DESTDIR=staging-folder]
install: build
	cmake --install build --prefix $(PREFIX)

# A Debian package in build/.
package: build
	cd build && cpack -G DEB

bench: build
	bench/bench.sh build/bin

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

check-all: check check-i386 check-large check-sanitize check-same fuzz

clean:
	rm -rf build build-i386 build-sanitize build-fuzz

# Front end over CMake. `make check` builds and runs every test natively;
# check-i386 and check-sanitize do the same for the 32-bit x86 build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build; check-same compares
# the output of the native and the i386 programs.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

.PHONY: all build build-i386 check check-i386 check-sanitize check-same check-all clean

all: build

build:
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

check: build
	cd build && ctest --output-on-failure -j $(JOBS)

build-i386/CMakeCache.txt:
	cmake -S . -B build-i386 -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 $(CMAKE_FLAGS)

build-i386: build-i386/CMakeCache.txt
	cmake --build build-i386 -j $(JOBS)

check-i386: build-i386
	cd build-i386 && ctest --output-on-failure -j $(JOBS)

build-sanitize/CMakeCache.txt:
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQAV_CHECK_LIBC_ONLY=OFF \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" $(CMAKE_FLAGS)

check-sanitize: build-sanitize/CMakeCache.txt
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS)

# The native and the i386 programs must write the same bytes.
check-same: build build-i386
	tests/same_output.sh build/bin build-i386/bin

check-all: check check-i386 check-sanitize check-same

clean:
	rm -rf build build-i386 build-sanitize

# SPDX-License-Identifier: MIT
# A thin wrapper over the CMake presets. `make run` and `make test` install what they need.
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-unit test-asan test-win32 run bench fuzz dist format clean

all: build

deps:
	scripts/install-deps.sh build test run

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

# Every test, GUI tests included; an X server is started when no display is set.
test: build
	scripts/with-display.sh ctest --preset default -j $(JOBS)

test-unit: build
	ctest --preset unit -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	scripts/with-display.sh ctest --preset asan -j $(JOBS)

# The Windows program, cross-built with MinGW-w64 and tested under Wine.
test-win32:
	scripts/install-deps.sh build win32 test
	scripts/test-win32.sh

run: build
	scripts/run-demo.sh build/default

bench:
	scripts/install-deps.sh build bench
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bench/run-all.sh build/release

fuzz:
	scripts/install-deps.sh build fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	fuzz/run.sh build/fuzz $${FUZZ_SECONDS:-60}

# Release archives for publishers (Linux and Windows), in dist/.
dist:
	scripts/install-deps.sh build tools win32
	scripts/dist.sh

format:
	git ls-files -co --exclude-standard -- '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

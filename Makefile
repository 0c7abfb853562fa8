# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: setup configure build test test-native test-asan test-win32 demo bench format clean

setup:
	scripts/setup

configure: setup
	cmake --preset native

build: configure
	cmake --build --preset native -j $(JOBS)

test: build test-native
ifdef CI
test: test-asan
endif

test-native: build
	ctest --preset native

test-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

demo: build
	build/native/cli/corvanta demo

bench: setup
	bench/compare.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

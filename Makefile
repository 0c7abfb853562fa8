# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: setup configure build build-win64 test test-begin test-native test-asan test-windows demo bench format clean

setup:
	scripts/setup

configure: setup
	cmake --preset native

# The Linux programs, and Corvix.dll with its setup program as shipped (32-bit).
build: configure
	cmake --build --preset native -j $(JOBS)
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

# The same Windows sources for 64-bit Windows: the Windows tests run under 64-bit Wine
# where a machine cannot run 32-bit programs; its warnings are errors too.
build-win64: setup
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)

# Every test, then one summary of what ran (scripts/test-summary).
test: test-begin build build-win64 test-native test-windows
ifdef CI
test: test-asan
else
test: test-asan-not-run
endif
test:
	@scripts/test-summary print

test-begin:
	@scripts/test-summary reset

test-native: build
	ctest --preset native --output-junit $(CURDIR)/build/native/ctest.xml
	@scripts/test-summary ctest "Native tests" build/native/ctest.xml

.PHONY: test-asan-not-run
test-asan-not-run: test-begin
	@scripts/test-summary add "Sanitizer tests: not run (only with CI set, as .ci/run sets it; make test-asan runs them)"

test-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan --output-junit $(CURDIR)/build/asan/ctest.xml
	@scripts/test-summary ctest "Sanitizer tests" build/asan/ctest.xml

# The Windows builds whose tests run under whichever Wine runs here (scripts/wine-env).
WINDOWS_BUILDS = build/win32:build/win64

# Corvix.dll and the Windows tests, under Wine and Xvfb (scripts/wine-tests).
test-windows: build build-win64
	scripts/wine-tests $(WINDOWS_BUILDS)

# The real Corvix.dll, driven under Wine and Xvfb by a stand-in Outlook host
# against mailwarden; screenshots in build/win*/tests/win32_host/e2e.
.PHONY: test-wine-e2e
test: test-wine-e2e
test-wine-e2e: build build-win64
	tests/win32_host/run-e2e.sh $(WINDOWS_BUILDS) build/native/service/mailwarden

# The setup program under Wine in a fresh prefix: silent install against the tracking
# service with the sender's add-in key, the installed add-in sending signed, a setup
# refused while the DLL is in use, an upgrade, uninstalls, and the interactive pages
# photographed (build/win*/tests/setup).
.PHONY: test-wine-setup
test: test-wine-setup
test-wine-setup: build build-win64
	tests/win32_host/run-setup.sh $(WINDOWS_BUILDS) build/native/service/mailwarden

# The libFuzzer targets (fuzz/): a few seconds each with a fixed seed; the
# longer run (FUZZ_TIME seconds per target) writes to build/fuzz/findings.
.PHONY: test-fuzz fuzz-long
test: test-fuzz
test-fuzz: setup
	JOBS=$(JOBS) scripts/fuzz short
fuzz-long: setup
	JOBS=$(JOBS) scripts/fuzz long

# Every benchmark and its scripts at a tiny size from the debug build (bench/smoke.py):
# each must run to the end and print its figures in their form; no speed is judged.
.PHONY: test-bench
test: test-bench
test-bench: configure
	cmake --build --preset native -j $(JOBS)
	bench/smoke.py build/native
	@scripts/test-summary add "Benchmarks: every benchmark program and script ran to the end at a tiny size and printed its figures (bench/smoke.py)"

demo: build
	build/native/cli/corvanta demo

bench: setup
	bench/compare.sh

# mailwarden under load beside nginx: image hits, stamps per second, p99 of a stamp.
.PHONY: bench-service
bench-service: setup
	bench/service_load.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

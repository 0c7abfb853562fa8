# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: setup configure build test test-native test-asan test-win32 demo bench format clean

setup:
	scripts/setup

configure: setup
	cmake --preset native

build: configure
	cmake --build --preset native -j $(JOBS)
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

test: build test-native test-win32
ifdef CI
test: test-asan
endif

test-native: build
	ctest --preset native

# Corvix.dll and the Windows tests, under Wine and Xvfb (scripts/wine-tests).
test-win32: setup
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)
	scripts/wine-tests build/win32

test-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# The real Corvix.dll, driven under Wine and Xvfb by a stand-in Outlook host
# against mailwarden; screenshots in build/win32/tests/win32_host/e2e.
.PHONY: test-wine-e2e
test: test-wine-e2e
test-wine-e2e: build
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS) --target corvanta-outlook-standin
	tests/win32_host/run-e2e.sh build/win32 build/native/service/mailwarden

# The setup program under Wine in a fresh prefix: silent install against the tracking
# service, the installed add-in sending, a setup refused while the DLL is in use, an
# upgrade, uninstalls, and the interactive pages photographed (build/win32/tests/setup).
# The service's command line, said once: it must print "listening on http://HOST:PORT/".
SETUP_TEST_SERVICE = build/native/service/mailwarden serve --listen 127.0.0.1:0 --database sqlite::memory: --new-sender-credit 20 --status-pages
.PHONY: test-wine-setup
test: test-wine-setup
test-wine-setup: build
	tests/win32_host/run-setup.sh build/win32 $(SETUP_TEST_SERVICE)

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

# Thin wrapper over CMake; every target installs what is missing first.
BUILD_DIR    := build
SANITIZE_DIR := build-sanitize
BENCH_DIR    := build-bench
FUZZ_DIR     := build-fuzz
WINDOWS_DIR  := build-windows
FUZZ_SECONDS ?= 60
JOBS         ?= 2
MAKEFLAGS    += --no-print-directory
DEMO_OUT     := $(BUILD_DIR)/demo

.PHONY: all setup build test test-sanitize demo bench fuzz screenshots clean windows test-windows windows-tests

all: build

setup:
	@scripts/install-deps

build: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALOOM_BENCH=ON >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	@if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then \
		$(MAKE) windows-tests; \
	else \
		echo "test: MinGW-w64 or Wine is missing, so the Windows build is not tested (scripts/install-deps windows installs both)"; \
	fi

test-sanitize: setup
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DTESSALOOM_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

demo: build
	@mkdir -p $(DEMO_OUT)
	@TESSALOOM_HEADLESS=1 $(BUILD_DIR)/tessaloom object examples/demo/demo.objex $(DEMO_OUT)/demo.zobj
	@echo "object written to $(DEMO_OUT)/demo.zobj, header to $(DEMO_OUT)/obj.h"
	@$(BUILD_DIR)/tessaloom-view $(DEMO_OUT)/demo.zobj --png $(DEMO_OUT)/demo.png
	@echo "picture of the object written to $(DEMO_OUT)/demo.png"

bench: setup
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DTESSALOOM_BENCH=ON >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS) --target tessaloom_bench
	@$(BENCH_DIR)/tessaloom_bench
	@bench/floor_ratio.py $(BENCH_DIR)/tessaloom $(BENCH_DIR)/floor-ratio

# Pictures of both windows for the README, taken by the window session test.
screenshots: build
	@TESSALOOM_SCREENSHOTS=$(CURDIR)/docs $(BUILD_DIR)/tessaloom_window_tests --gtest_brief=1
	@echo "docs/main-window.png and docs/log-window.png written"

# The Windows executable, cross-built with MinGW-w64; its tests run under
# Wine, in a prefix kept in the build tree, and compare its output with the
# Linux build's. `make test` runs them whenever MinGW-w64 and Wine are there.
windows:
	@scripts/install-deps windows
	@cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
		-DTESSALOOM_LINUX_EXE=$(CURDIR)/$(BUILD_DIR)/tessaloom >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)

test-windows: build windows-tests

windows-tests: windows
	@WINEDEBUG=-all WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wine-prefix HOME=$(CURDIR)/$(WINDOWS_DIR)/wine-home \
		WINEDLLOVERRIDES=winemenubuilder.exe,winedbg.exe=d sh tests/windows/wine_setup.sh
	@ctest --test-dir $(WINDOWS_DIR) --output-on-failure -j $(JOBS)

# The fuzz harnesses need clang's libFuzzer; they are built only here.
fuzz:
	@scripts/install-deps fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Debug -DTESSALOOM_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/run-fuzz $(FUZZ_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(BENCH_DIR) $(FUZZ_DIR) $(WINDOWS_DIR)

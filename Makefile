# SPDX-License-Identifier: GPL-3.0-or-later
# make run    installs missing packages, builds Release and starts Pictavo's viewer on
#             the first sample picture (Enter leads to the browser);
#             make run ARGS='...' passes another command line, ARGS= none at all
# make test   installs, builds Debug with ASan+UBSan and runs every test
# make build  Release build only;  make bench  runs the benchmarks

BUILD_RELEASE ?= build/release
BUILD_TEST    ?= build/sanitize
JOBS          ?= $(shell nproc)
# A folder named with a trailing "/" opens the viewer on its first picture, in
# the order the browser lists them.
ARGS          ?= '$(CURDIR)/samples/'

.PHONY: run test build bench deps samples format clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD_RELEASE) -j $(JOBS)

samples: build
	@cmake --build $(BUILD_RELEASE) --target samples

run: samples
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display to show Pictavo on; try: xvfb-run make run"; exit 1; fi
	@$(BUILD_RELEASE)/bin/pictavo $(ARGS)

test: deps
	@cmake -S . -B $(BUILD_TEST) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPICTAVO_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD_TEST) -j $(JOBS)
	@cd $(BUILD_TEST) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tests/ubsan.supp \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@bench/run $(BUILD_RELEASE)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build samples

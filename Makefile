# SPDX-License-Identifier: GPL-3.0-or-later
# make run    installs missing packages, builds Release and starts Pictavo's viewer on
#             the first sample picture (Enter leads to the browser);
#             make run ARGS='...' passes another command line, ARGS= none at all
# make test   installs, builds Debug with ASan+UBSan and warnings as errors, runs every test
# make build  Release build only;  make bench  runs the benchmarks
# make package  the Debian package pictavo_<version>_<arch>.deb of a Release build
# make format formats the sources;  make format-check fails when one is not formatted
# make lint   runs clang-tidy over the sources (after make test has built them)
# make fuzz   builds the libFuzzer targets with clang and runs each format group
#             for FUZZ_TIME seconds (default 600) from seeds per format

BUILD_RELEASE ?= build/release
BUILD_TEST    ?= build/sanitize
BUILD_FUZZ    ?= build/fuzz
FUZZ_TIME     ?= 600
JOBS          ?= $(shell nproc)
# A folder named with a trailing "/" opens the viewer on its first picture, in
# the order the browser lists them.
ARGS          ?= '$(CURDIR)/samples/'
SOURCES        = git ls-files '*.cpp' '*.h'

.PHONY: run test build package bench deps samples format format-check lint fuzz clean

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
	@cmake -S . -B $(BUILD_TEST) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPICTAVO_SANITIZE=ON \
	  -DPICTAVO_WERROR=ON >/dev/null
	@cmake --build $(BUILD_TEST) -j $(JOBS)
	@cd $(BUILD_TEST) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tests/ubsan.supp \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

# CPack stages the Release build under /usr, strips it and asks dpkg-shlibdeps
# for Depends; the package lands at the top of the tree, replacing older ones.
package: build
	@rm -rf $(BUILD_RELEASE)/package pictavo_*.deb
	@cpack --config $(BUILD_RELEASE)/CPackConfig.cmake -B $(CURDIR)/$(BUILD_RELEASE)/package
	@mv $(BUILD_RELEASE)/package/pictavo_*.deb .
	@echo "package: $$(ls pictavo_*.deb)"

bench: build
	@bench/run $(BUILD_RELEASE)

format:
	@$(SOURCES) | xargs clang-format -i

format-check: deps
	@$(SOURCES) | xargs clang-format --dry-run --Werror

lint: deps
	@test -f $(BUILD_TEST)/compile_commands.json || \
	  { echo "lint reads $(BUILD_TEST)/compile_commands.json: run make test first"; exit 1; }
	@$(SOURCES) | grep '\.cpp$$' | grep -v '^tests/fuzz/' | \
	  xargs run-clang-tidy -quiet -p $(BUILD_TEST) -j $(JOBS) >$(BUILD_TEST)/lint.log 2>&1 || \
	  { grep -E 'warning:|error:' $(BUILD_TEST)/lint.log; exit 1; }
	@echo "lint: clean"

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPICTAVO_FUZZ=ON >/dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_decode fuzz_metafile pictavo-magick
	@scripts/run-fuzz $(BUILD_FUZZ) $(FUZZ_TIME)

clean:
	@rm -rf build samples pictavo_*.deb

# The two front-door commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run translations test test-main test-asan test-tsan bench package clean

all: build

deps:
	tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DLYT_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

# Builds the program and what it loads (the hook library, its translations and help pages), not the
# tests, and starts it with FILE, or with the bundled sample: make run FILE="$HOME/Recordings/Interview 3.mp3"
run: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DLYT_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS) --target lystrel2
	tools/run.sh "$(BUILD)" "$$LYT_RUN_FILE"
run: export LYT_RUN_FILE = $(FILE)

# Brings resources/translations/lystrel2_en.ts up to date with the texts in the code; then translate
# the entries it marks unfinished (Qt Linguist or by hand) and rebuild.
translations: deps
	tools/update-translations.sh

test: deps test-main test-asan test-tsan

# The X server stays up between tests (-noreset): a reset while the next test connects fails it.
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"

test-main: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS)

# The engine's tests again, with address and undefined-behaviour sanitizers.
test-asan: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DLYT_WERROR=ON -DLYT_ENGINE_ONLY=ON \
	  -DLYT_BENCH=OFF -DLYT_SANITIZE=address,undefined
	cmake --build $(BUILD)-asan -j $(JOBS) --target engine_tests
	cd $(BUILD)-asan && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS) -L engine

# The engine's threading tests with the thread sanitizer.
test-tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYT_WERROR=ON -DLYT_ENGINE_ONLY=ON \
	  -DLYT_BENCH=OFF -DLYT_SANITIZE=thread
	cmake --build $(BUILD)-tsan -j $(JOBS) --target engine_tests
	cd $(BUILD)-tsan && ctest --output-on-failure -R Realtime

bench: build
	$(BUILD)/bench/engine_bench
	$(XVFB) $(BUILD)/bench/ui_bench
	$(XVFB) $(BUILD)/bench/hotkey_bench

# A .deb of the program in build/ (stripped), checked with lintian.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --no-tag-display-limit $(BUILD)/lystrel2_*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan

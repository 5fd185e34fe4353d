# The two front-door commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run test test-main test-asan test-tsan bench package clean

all: build

deps:
	tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DLYT_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

# Until the player's window exists this renders the bundled sample and says where it went.
run: build
	tools/run.sh $(BUILD) $(FILE)

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
	$(BUILD)/bench/doors_bench

# A .deb of the program in build/.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan

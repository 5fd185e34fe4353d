# The two front-door commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run translations test test-main test-asan test-tsan fuzz test-fuzz fuzz-long bench package clean

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

# Every stage runs even when an earlier one fails; the end names the stages that failed and the
# time each took, and make test fails when any did.
TEST_STAGES = test-main test-asan test-tsan test-fuzz
test: deps
	@failed=""; times=""; \
	for stage in $(TEST_STAGES); do \
	  start=$$(date +%s); \
	  $(MAKE) --no-print-directory $$stage || failed="$$failed $$stage"; \
	  times="$$times $$stage $$(( $$(date +%s) - start ))s"; \
	done; \
	echo "make test stages:$$times"; \
	if [ -n "$$failed" ]; then echo "make test FAILED in:$$failed"; exit 1; fi; \
	echo "make test passed"

# The X server stays up between tests (-noreset): a reset while the next test connects fails it.
XVFB = xvfb-run -a -s "-screen 0 1280x1024x24 -noreset"

test-main: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j $(JOBS)

# Sanitizer builds are Debug at -O1, as the sanitizers' documentation suggests: much quicker to run
# than -O0, and their reports still name the lines.
SANITIZED = -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DLYT_BENCH=OFF
# Leaks inside the system's libraries are listed, with the reason, in tests/lsan.supp.
SANITIZER_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
  TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp second_deadlock_stack=1"

# The whole suite again with address and undefined-behaviour sanitizers, X as in the main run.
# Programs the tests start (the player, lyt2-render) are built the same way and report too.
# The sanitizers' runtime makes the dlopen calls itself, so the programs' RUNPATH does not apply
# to the hook library there: LD_LIBRARY_PATH names its folder.
test-asan: deps
	cmake -S . -B $(BUILD)-asan $(SANITIZED) -DLYT_WERROR=ON -DLYT_ENGINE_ONLY=OFF -DLYT_SANITIZE=address,undefined
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && LD_LIBRARY_PATH=$(CURDIR)/$(BUILD)-asan $(SANITIZER_ENV) $(XVFB) \
	  ctest --output-on-failure -j $(JOBS)

# Every test that runs threads (label "threads": the engine, the hook library, the hand-off between
# two starts) with the thread sanitizer; LD_LIBRARY_PATH as in the address-sanitizer stage.
test-tsan: deps
	cmake -S . -B $(BUILD)-tsan $(SANITIZED) -DLYT_WERROR=ON -DLYT_ENGINE_ONLY=OFF -DLYT_SANITIZE=thread
	cmake --build $(BUILD)-tsan -j $(JOBS) --target engine_tests hooklib_tests handoff_tests
	cd $(BUILD)-tsan && LD_LIBRARY_PATH=$(CURDIR)/$(BUILD)-tsan $(SANITIZER_ENV) $(XVFB) \
	  ctest --output-on-failure -j $(JOBS) -L threads

# The fuzz harnesses of tests/fuzz/, built by clang with libFuzzer and the address and
# undefined-behaviour sanitizers. Warnings stay warnings here: the gcc builds hold the line on them.
fuzz: deps
	cmake -S . -B $(BUILD)-fuzz $(SANITIZED) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DLYT_ENGINE_ONLY=ON -DLYT_FUZZ=ON -DLYT_SANITIZE=fuzzer-no-link,address,undefined
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzzers

# Each harness for FUZZ_SECONDS from its seed corpus (a copy: the repository stays clean).
FUZZ_SECONDS ?= 30
test-fuzz: fuzz
	tests/fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# Each harness for FUZZ_SECONDS (ten minutes unless set) with a random seed, to search where the
# fixed seed of test-fuzz never goes. The inputs it finds that reach new code are kept, git-ignored,
# in tests/fuzz/found/<name>/ (each run starts from them too); a failing input in $(BUILD)-fuzz/fuzz-artifacts/.
# Worth a seed: copy it into tests/fuzz/corpus/<name>/ under a name that says what it shows.
fuzz-long: fuzz
	FUZZ_SEED=random FUZZ_FOUND=$(CURDIR)/tests/fuzz/found \
	  tests/fuzz/run.sh $(BUILD)-fuzz $(if $(filter file,$(origin FUZZ_SECONDS)),600,$(FUZZ_SECONDS))

bench: build
	$(BUILD)/bench/engine_bench
	$(BUILD)/bench/sound_server_bench
	$(BUILD)/bench/clarity_bench
	$(BUILD)/bench/mpeg_bench
	$(XVFB) $(BUILD)/bench/analysis_bench
	$(XVFB) $(BUILD)/bench/ui_bench
	$(XVFB) $(BUILD)/bench/hotkey_bench
	$(XVFB) $(BUILD)/bench/pedal_bench
	$(XVFB) $(BUILD)/bench/idle_bench
	$(BUILD)/bench/doors_bench

# A .deb of the program in build/ (stripped), checked with lintian.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --no-tag-display-limit $(BUILD)/lystrel2_*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz

# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
TEST_ENV   := QT_QPA_PLATFORM=offscreen

.PHONY: deps configure build display run test asan tsan fuzz fuzz-replay bench clean

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Checked before building, so a machine without a display says so at once.
display:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "clavorne-pro: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)"; \
	  exit 1; \
	fi

run: display
	$(MAKE) build
	./$(BUILD)/clavorne-pro

# In a random order, so a test that leans on what another one left behind (a fixture, a file, a
# registered format) fails here rather than only under some other order.
CTEST_ORDER := --schedule-random

# Builds what the tests run (the suites and the program), not the benchmarks.
test: configure
	cmake --build $(BUILD) -j $(JOBS) --target test_programs
	$(TEST_ENV) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(CTEST_ORDER)

# The engine and the runs are checked for leaks too; suppressed are only leaks inside Qt, FFmpeg
# and fontconfig themselves (stacks need the slow unwinder: those libraries have no frame pointers).
LSAN_ENV := LSAN_OPTIONS="suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0"
LEAK_CHECKED_APP_TESTS := ^(FrameRun|ClipRun|AudioRun|RunDialogs|RunFilters)

asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCLAVORNE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(TEST_ENV) ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) $(CTEST_ORDER) -LE '^test_(media|app)$$'
	$(TEST_ENV) ASAN_OPTIONS=detect_leaks=1 $(LSAN_ENV) UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) $(CTEST_ORDER) -L '^test_media$$'
	$(TEST_ENV) ASAN_OPTIONS=detect_leaks=1 $(LSAN_ENV) UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) $(CTEST_ORDER) -L '^test_app$$' -R '$(LEAK_CHECKED_APP_TESTS)'
	$(TEST_ENV) ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) $(CTEST_ORDER) -L '^test_app$$' -E '$(LEAK_CHECKED_APP_TESTS)'

# Every fuzzing target for FUZZ_SECONDS (default 60) each, several at a time; a finding fails.
fuzz: fuzz-build
	FUZZ_OUT=$(FUZZ_BUILD)/findings JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Every reader and parser under the sanitizers (leaks included) over its seeds and the kept
# reproducers: the same inputs every time, so it can gate CI. FUZZ_REPLAY_RUNS=N adds N inputs
# made from them from a fixed random seed (the order the seeds are read in still varies, so
# those are not quite the same from one machine to the next).
FUZZ_REPLAY_RUNS ?= 0
fuzz-replay: fuzz-build
	FUZZ_OUT=$(FUZZ_BUILD)/findings FUZZ_RUNS=$(FUZZ_REPLAY_RUNS) JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_BUILD)

.PHONY: fuzz-build
fuzz-build: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLAVORNE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLAVORNE_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	$(TEST_ENV) TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp ignore_noninstrumented_modules=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

bench: build
	bash bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

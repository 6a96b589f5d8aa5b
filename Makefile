# make run   installs what is missing, builds, and opens the workbench (or, without a display,
#            runs the bundled example through the command line)
# make test  installs what is missing, builds, and runs every test
# make asan  the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (no window)
# make golden-rebase  builds orvo and rewrites the expected files of tests/golden from it
BUILD ?= build
JOBS ?= 2

.PHONY: deps build run test asan golden-rebase clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	scripts/run-main $(BUILD)

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

asan: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVO_SANITIZE=ON -DORVO_BUILD_IDE=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	ctest --test-dir $(BUILD)-asan -j $(JOBS) --output-on-failure

golden-rebase: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target orvo
	scripts/golden-rebase $(BUILD)/bin/orvo

clean:
	rm -rf $(BUILD) $(BUILD)-asan

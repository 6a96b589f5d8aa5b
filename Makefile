# make run   installs what is missing, builds, and opens the workbench (or, without a display,
#            runs the bundled example through the command line)
# make test  installs what is missing, builds, and runs every test
# make asan  the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (no window)
# make golden-rebase  builds orvo and rewrites the expected files of tests/golden from it
# Every build is a preset of CMakePresets.json; this file only names the steps.

.PHONY: deps build run test asan golden-rebase clean

deps:
	scripts/install-deps

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	scripts/run-main build

test: build
	ctest --preset release

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

golden-rebase: deps
	cmake --preset release
	cmake --build --preset release --target orvo
	scripts/golden-rebase build/bin/orvo

clean:
	rm -rf build build-asan build-debug build-bench build-fuzz

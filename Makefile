# make run   installs what is missing, builds, and opens the workbench (or, without a display,
#            runs the bundled example through the command line)
# make test  installs what is missing, builds, and runs every test
# make asan  the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (no window)
# Every build is a preset of CMakePresets.json; this file only names the steps.

.PHONY: deps build run test asan clean

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

clean:
	rm -rf build build-asan build-debug build-bench build-fuzz

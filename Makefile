# Entry points: make build, make run, make test (see README.md).
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: build run test deps configure clean screenshots check-sanitize fuzz package check-package lint-package

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -x $(BUILD_DIR)/bin/trelvan ]; then $(BUILD_DIR)/bin/trelvan; \
	else $(BUILD_DIR)/bin/trelvan-cli --help; fi

# The main window with each built page, in English and Japanese, as PNG files
# (rendered offscreen, no display needed).
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/trelvan-screenshots $(BUILD_DIR)/screenshots

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The Debian package, in $(BUILD_DIR)/packages/.
package: build
	@cd $(BUILD_DIR) && cpack -B packages >/dev/null && ls packages/*.deb

# The package unpacked into a temporary folder (not installed): the programs
# run from there and join two files.
check-package: package
	@bash scripts/check-package $(BUILD_DIR)/packages

# Debian's own checks of the package: any error or warning fails, and so
# does any of its informational hardening tags (the programs are built with
# fortified calls, a stack protector and relocations bound at start).
lint-package: package
	@lintian --fail-on error,warning $(BUILD_DIR)/packages/*.deb
	@tags=$$(lintian -I $(BUILD_DIR)/packages/*.deb | grep -c ' hardening-' || true); \
	  echo "lintian: $$tags hardening tags"; test "$$tags" -eq 0

# The whole test suite built with AddressSanitizer (leak checks included) and
# UndefinedBehaviorSanitizer in its own build folder; any finding fails a test.
SANITIZE_DIR ?= build-sanitize
SANITIZE_JOBS ?= 2
# Light optimisation and line tables only: the instrumented build compiles in
# about half the time of -O2 -g, and the reports still name file and line.
SANITIZE_OPT ?= -O1 -g1 -DNDEBUG
check-sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -G Ninja -DTRELVAN_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(SANITIZE_OPT)" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$(SANITIZE_OPT)" \
	  $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(SANITIZE_JOBS)
	@cd $(SANITIZE_DIR) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j $(SANITIZE_JOBS)

# The libFuzzer targets (clang) in their own build folder, each run for
# FUZZ_SECONDS seconds from a seed corpus of small generated files and the
# shared samples.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DTRELVAN_FUZZ=ON \
	  -DTRELVAN_BUILD_SHELL=OFF -DTRELVAN_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(SANITIZE_JOBS) --target fuzz_targets
	@scripts/fuzz-seeds $(FUZZ_DIR)/seeds ../shared/samples
	@scripts/fuzz-run $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD_DIR)

# Entry points: make build, make run, make test (see README.md).
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: build run test deps configure clean screenshots

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

clean:
	@rm -rf $(BUILD_DIR)

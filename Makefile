# make run   installs what is missing, builds, and starts Rushlet
# make test  installs what is missing, builds, and runs every test

BUILD_DIR ?= build
CTEST_ARGS ?=

.PHONY: all deps configure build run test clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja

build: configure
	cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/bin/Rushlet

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j2 $(CTEST_ARGS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

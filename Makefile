# make run        installs what is missing, builds, and starts Rushlet
# make test       installs what is missing, builds, and runs every test
# make install    builds and installs under PREFIX (default /usr/local), staged below DESTDIR if set
# make uninstall  removes what make install put under the same PREFIX and DESTDIR
# make package    builds the Debian package rushlet_VERSION_ARCH.deb in the build folder

BUILD_DIR ?= build
CTEST_ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps configure build run test install uninstall package clean format

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

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# What an install would put there, found by staging one, is removed; folders only when left empty.
uninstall:
	@stage=$$(mktemp -d) && trap 'rm -rf "$$stage"' EXIT && \
	DESTDIR="$$stage" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)" >/dev/null && \
	cd "$$stage" && \
	find . ! -type d | sed 's|^\.||' | while IFS= read -r file; do rm -fv "$(DESTDIR)$$file"; done && \
	find ./"$(PREFIX)"/share/rushlet -depth -type d | sed 's|^\.||' | \
		while IFS= read -r folder; do rmdir "$(DESTDIR)$$folder" 2>/dev/null || true; done

package: build
	cmake --build $(BUILD_DIR) --target package

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

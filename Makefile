# make run        installs what is missing, builds, and starts Rushlet
# make test       installs what is missing, builds, and runs every test
# make test-asan  every test under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan
# make test-tsan  the engine, list, bridge and tool tests under ThreadSanitizer, in build-tsan, over
#                 Qt libraries built instrumented in build-tsan-qt (once; the better part of an hour)
# make fuzz       every fuzz target for FUZZ_SECONDS each, built in build-asan
# make install    builds and installs under PREFIX (default /usr/local), staged below DESTDIR if set
# make uninstall  removes what make install put under the same PREFIX and DESTDIR
# make package    builds the Debian package rushlet_VERSION_ARCH.deb in the build folder

BUILD_DIR ?= build
CTEST_ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

ASAN_BUILD_DIR ?= build-asan
TSAN_BUILD_DIR ?= build-tsan
FUZZ_SECONDS ?= 60
# The tests ThreadSanitizer runs: the parts with threads of their own, and no window.
TSAN_TESTS ?= ^(tst_DownloadRecords|tst_DownloadRules|tst_ResumeCheckpoint|tst_FileSystem|tst_DownloadEngine.*|tst_QueueRules|tst_DownloadList.*|tst_BridgeRules|tst_BridgeServer|tst_BridgeTimeouts|tst_NativeHost|tst_BrowserIntake|tst_TestHttpServer|tst_NginxServer|tst_GetCommand|tst_RushletGet)$$
# Qt Core, Network and Test instrumented for ThreadSanitizer, built once from Debian's source.
TSAN_QT_DIR ?= build-tsan-qt
SANITIZER_SUPPRESSIONS := $(CURDIR)/tests/sanitizers

.PHONY: all deps configure build run test install uninstall package clean format test-asan test-tsan fuzz asan-build tsan-build

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

# Runtime options for the sanitizer trees, inherited by the programs the tests start.
asan-build test-asan fuzz: export ASAN_OPTIONS = halt_on_error=1:detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1
asan-build test-asan fuzz: export UBSAN_OPTIONS = halt_on_error=1:print_stacktrace=1
asan-build test-asan fuzz: export LSAN_OPTIONS = suppressions=$(SANITIZER_SUPPRESSIONS)/lsan.supp:print_suppressions=0
tsan-build test-tsan: export TSAN_OPTIONS = halt_on_error=1:second_deadlock_stack=1:suppressions=$(SANITIZER_SUPPRESSIONS)/tsan.supp

asan-build: deps
	cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DRUSHLET_SANITIZE=address
	cmake --build $(ASAN_BUILD_DIR)

test-asan: asan-build
	cd $(ASAN_BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 -j2 $(CTEST_ARGS)

tsan-build: deps
	cmake -S . -B $(TSAN_BUILD_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DRUSHLET_SANITIZE=thread
	cmake --build $(TSAN_BUILD_DIR)

# The system's plugin folder is asked for before the instrumented libraries are in the path, since
# qtpaths6 itself cannot load them.
test-tsan: tsan-build
	scripts/build-tsan-qt.sh $(TSAN_QT_DIR)
	plugins=$$(qtpaths6 --query QT_INSTALL_PLUGINS) && cd $(TSAN_BUILD_DIR) && QT_QPA_PLATFORM=offscreen \
		LD_LIBRARY_PATH=$(CURDIR)/$(TSAN_QT_DIR)/lib QT_PLUGIN_PATH=$(CURDIR)/$(TSAN_QT_DIR)/plugins:$$plugins \
		ctest --output-on-failure --timeout 900 -j2 -R '$(TSAN_TESTS)' $(CTEST_ARGS)

fuzz: deps
	cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DRUSHLET_SANITIZE=address
	cmake --build $(ASAN_BUILD_DIR) --target rushlet_fuzz_targets
	tests/fuzz/run-fuzzers.sh $(ASAN_BUILD_DIR) $(FUZZ_SECONDS)
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

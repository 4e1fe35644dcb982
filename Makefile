# zantir: `make test` builds everything and runs every test, cross-builds the core, zantir-cli
# and their tests for Windows and runs them under Wine, then builds everything again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test again.
# Last it fuzzes every reader of outside bytes for TEST_FUZZ_SECONDS each (`make fuzz`).
JOBS ?= $(shell nproc)
BUILD ?= build
SANBUILD ?= build-san
FUZZBUILD ?= build-fuzz
WINBUILD ?= build-win
FUZZ_SECONDS ?= 60
TEST_FUZZ_SECONDS ?= 30
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
MAKEFLAGS += --no-print-directory
# Ninja for a new build folder; one made earlier keeps the generator it has.
generator = $(if $(wildcard $(1)/CMakeCache.txt),,-G Ninja)
# ctest's own closing line, "N% tests passed, F tests failed out of T", as "P of T passed".
summary = sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$$/\1 \2/p' $(1) \
	| awk '{ printf "%d of %d passed", $$2 - $$1, $$2 }'
# Tests that ctest skipped (exit 77) are counted as passed there: say how many.
skipped = n=$$(grep -c '(Skipped)' $(1)); [ "$$n" -gt 0 ] && echo " ($$n skipped)"

.PHONY: all deps build test test-fast test-windows sanitize fuzz bench demo package windows clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(call generator,$(BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTIR_WERROR=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure 2>&1 | tee ctest.log

# MinGW-w64 and Wine: the suites that need no pty, and zantir-cli.exe against this machine's
# simulator through Wine's COM1.
test-windows: build
	cmake -S . -B $(WINBUILD) $(call generator,$(WINBUILD)) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTIR_GUI=OFF -DZANTIR_WERROR=ON \
		-DZANTIR_HOST_BUILD=$(abspath $(BUILD)) > /dev/null
	cmake --build $(WINBUILD) -j $(JOBS)
	cd $(WINBUILD) && ctest -j $(JOBS) --output-on-failure 2>&1 | tee ctest.log

sanitize: deps
	cmake -S . -B $(SANBUILD) $(call generator,$(SANBUILD)) -DCMAKE_BUILD_TYPE=Debug -DZANTIR_SANITIZE=ON -DZANTIR_WERROR=ON \
		-DZANTIR_GUI=ON > /dev/null
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ctest --output-on-failure 2>&1 | tee ctest.log

# libFuzzer with clang; each target runs FUZZ_SECONDS on a scratch copy of its corpus.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZBUILD) $(call generator,$(FUZZBUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DZANTIR_FUZZ=ON -DZANTIR_GUI=OFF -DZANTIR_WERROR=ON > /dev/null
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fuzz-targets
	scripts/fuzz.sh $(FUZZBUILD) $(FUZZ_SECONDS)

test: test-fast test-windows sanitize
	@$(MAKE) fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)
	@echo "make test: $$($(call summary,$(BUILD)/ctest.log)); on Windows under Wine $$($(call summary,$(WINBUILD)/ctest.log))$$($(call skipped,$(WINBUILD)/ctest.log)); under sanitizers $$($(call summary,$(SANBUILD)/ctest.log)); $$(cat $(FUZZBUILD)/fuzz-summary)"

demo: build
	@scripts/install-deps.sh demo
	scripts/demo.sh

# The Debian package of the programs, into $(BUILD)/package.
package: build
	cd $(BUILD) && cpack -G DEB > cpack.log
	@ls $(BUILD)/package/zantir_*.deb

bench: build
	$(BUILD)/zantir-bench

# zantir.exe with a Qt for Windows cross-built once from Debian's source, in a zip.
windows: build
	scripts/windows.sh $(WINBUILD)-qt

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD) $(WINBUILD) $(WINBUILD)-qt

# zantir: `make test` builds everything and runs every test, then builds everything
# again with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test again.
# Last it fuzzes every reader of outside bytes for TEST_FUZZ_SECONDS each (`make fuzz`).
JOBS ?= $(shell nproc)
BUILD ?= build
SANBUILD ?= build-san
FUZZBUILD ?= build-fuzz
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

.PHONY: all deps build test test-fast sanitize fuzz bench demo package clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(call generator,$(BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTIR_WERROR=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure 2>&1 | tee ctest.log

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

test: test-fast sanitize
	@$(MAKE) fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)
	@echo "make test: $$($(call summary,$(BUILD)/ctest.log)); under sanitizers $$($(call summary,$(SANBUILD)/ctest.log)); $$(cat $(FUZZBUILD)/fuzz-summary)"

demo: build
	@scripts/install-deps.sh demo
	scripts/demo.sh

# The Debian package of the programs, into $(BUILD)/package.
package: build
	cd $(BUILD) && cpack -G DEB > cpack.log
	@ls $(BUILD)/package/zantir_*.deb

bench: build
	$(BUILD)/zantir-bench

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD)

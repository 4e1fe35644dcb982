# zantir: `make test` builds everything and runs every test, then runs the core
# and simulator tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
JOBS ?= $(shell nproc)
BUILD ?= build
SANBUILD ?= build-san
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
MAKEFLAGS += --no-print-directory
# Ninja for a new build folder; one made earlier keeps the generator it has.
generator = $(if $(wildcard $(1)/CMakeCache.txt),,-G Ninja)
# ctest's own closing line, "N% tests passed, F tests failed out of T", as "P of T passed".
summary = sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$$/\1 \2/p' $(1) \
	| awk '{ printf "%d of %d passed", $$2 - $$1, $$2 }'

.PHONY: all deps build test test-fast sanitize bench demo clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(call generator,$(BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure 2>&1 | tee ctest.log

sanitize: deps
	cmake -S . -B $(SANBUILD) $(call generator,$(SANBUILD)) -DCMAKE_BUILD_TYPE=Debug -DZANTIR_SANITIZE=ON \
		-DZANTIR_GUI=OFF > /dev/null
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ctest --output-on-failure -L 'unit|e2e' 2>&1 | tee ctest.log

test: test-fast sanitize
	@echo "make test: $$($(call summary,$(BUILD)/ctest.log)); under sanitizers $$($(call summary,$(SANBUILD)/ctest.log))"

demo: build
	@scripts/install-deps.sh demo
	scripts/demo.sh

bench: build
	$(BUILD)/zantir-bench

clean:
	rm -rf $(BUILD) $(SANBUILD)

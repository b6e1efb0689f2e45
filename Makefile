# Two commands do all set-up on a fresh Debian 12 machine:
#   make run   - installs what is missing, builds, starts Sonalto
#   make test  - installs what is missing, builds, runs the whole suite
# (./make.sh run and ./make.sh test do the same where make itself is missing.)
#   make install PREFIX=/usr/local DESTDIR=   - installs the program, stripped
#   make package                              - builds the .deb in the build folder
#                                               and fails unless lintian accepts it
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DESTDIR ?=
export DESTDIR

.PHONY: all deps configure build run test bench install package format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target sonalto
	@bash scripts/run.sh $(BUILD_DIR)

test: build
	@bash scripts/session.sh --xvfb -- ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX) --strip

# lintian shows its notes too, but only an error or a warning fails the target.
package: build
	@rm -f $(BUILD_DIR)/sonalto_*.deb
	@cd $(BUILD_DIR) && cpack -G DEB
	@lintian --display-info --fail-on error,warning $(BUILD_DIR)/sonalto_*.deb

bench: build
	@bash scripts/session.sh --xvfb -- bash bench/run-all.sh $(BUILD_DIR)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf $(BUILD_DIR)

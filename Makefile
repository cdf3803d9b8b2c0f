# Talmox: `make run` shows the program, `make test` runs the whole suite. Both install what
# is missing first (as root, from Debian's packages).
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build build-x64 build-i686 test run bench soak clean dist

all: build

deps:
	@tools/build/install-deps.sh

build-x64: deps
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=tools/build/toolchain-x86_64.cmake >/dev/null
	cmake --build $(BUILD)/x64 -j$(JOBS)

build-i686: deps
	cmake -S . -B $(BUILD)/i686 -DCMAKE_TOOLCHAIN_FILE=tools/build/toolchain-i686.cmake -DTALMOX_TESTS=OFF >/dev/null
	cmake --build $(BUILD)/i686 -j$(JOBS)

build: build-x64 build-i686

test: build
	cd $(BUILD)/x64 && ctest --output-on-failure
	@tools/test/test-i686.sh $(BUILD)

run: build
	@tools/build/run.sh $(BUILD)

# The MSI packages and portable zips of both architectures, named with the version; every build
# makes its own architecture's (installer/installer.cmake).
dist: build
	@echo "Packages in $(BUILD)/dist:"; ls -1 $(BUILD)/dist

# A benchmark, not a test: prints a table of figures (a few minutes) and never fails.
bench: build-x64
	@tools/bench/bench.sh $(BUILD)/x64

# The long runs (about two hours): 200 batches in turn and 100 cancels over the LAN and over the
# serial cable between two copies, at least 10,000 blocks between two copies through the
# damaging serial relay (DAMAGE_SEED=N repeats a run); then the suite's in-process hostile peer
# (ten minutes per link) and damaging sender (300 batches) on both links (TALMOX_HOSTILE_SEED,
# TALMOX_DAMAGE_SEED).
soak: build-x64
	tools/test/e2e-turns.sh lan 200 $(BUILD)/x64
	tools/test/e2e-turns.sh serial 200 $(BUILD)/x64
	tools/test/e2e-cancels.sh lan 100 $(BUILD)/x64
	tools/test/e2e-cancels.sh serial 100 $(BUILD)/x64
	DAMAGE_FILES=40 DAMAGE_BATCHES=1000 DAMAGE_BLOCKS=10000 tools/test/damage-soak.sh $(BUILD)/x64
	tools/test/serial-pair.sh start $(BUILD)/x64
	TALMOX_BUILD=$(abspath $(BUILD)/x64) TALMOX_HOSTILE_MS=600000 TALMOX_DAMAGE_BATCHES=300 \
	  tools/machines/wine-run.sh $(BUILD)/x64/transfer.exe \
	  --gtest_filter='*ARandomHostilePeer*:*ADamagingLink*'; \
	  rc=$$?; tools/test/serial-pair.sh stop $(BUILD)/x64; exit $$rc

clean:
	rm -rf $(BUILD)

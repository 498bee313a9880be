# Thin wrapper: installs what a fresh Debian machine lacks, configures, builds,
# then runs the main job (demo) or every test (test).
BUILD     ?= build
ASAN      ?= build-asan
FUZZ      ?= build-fuzz
JOBS      ?= 2
COMPANY   ?= $(CURDIR)/demo-company
# Paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR := $(CURDIR)
# A -g build would otherwise hash the build folder, so no clone hits another's cache.
export CCACHE_NOHASHDIR := 1
PACKAGES  := cmake g++ ninja-build ccache libsqlite3-dev sqlite3 libgtest-dev libgmock-dev googletest libpq-dev postgresql-15 libbenchmark-dev python3 \
             libcli11-dev nlohmann-json3-dev ledger hledger libofx-dev pkg-config \
             libcpp-httplib-dev libssl-dev chromium chromium-driver python3-selenium
# What the side-by-side benchmark runs besides bkreg.
COMPARE_PACKAGES := ledger hledger sqlite3 time hledger-web
# Warnings are errors when BK_WERROR=ON (CI sets it; developers export it).
# It takes effect when a build folder is configured.
BK_WERROR ?= OFF
# The fuzz build: clang (libFuzzer) with AddressSanitizer and
# UndefinedBehaviorSanitizer; it is also the project's clang build.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
CLANG     ?= $(shell command -v clang-14 || command -v clang)
CLANGXX   ?= $(shell command -v clang++-14 || command -v clang++)
# `make fuzz SECONDS=n` runs each target n seconds (the shell's own SECONDS
# variable is ignored); `make test` runs each for a few seconds.
FUZZ_SECONDS := $(if $(filter command line,$(origin SECONDS)),$(SECONDS),60)
N         ?= 100000
ROUNDS    ?= 5

.PHONY: all deps compare-deps fuzz-deps configure build demo test test-fast test-fuzz asan fuzz bench bench-compare bench-web bench-backends crash-tx soak crash month clean

all: build

deps compare-deps fuzz-deps: PKGS = $(if $(filter compare-deps,$@),$(COMPARE_PACKAGES),$(if $(filter fuzz-deps,$@),$(FUZZ_PACKAGES),$(PACKAGES)))
deps compare-deps fuzz-deps:
	@missing=""; for p in $(PKGS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBK_WERROR=$(BK_WERROR)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBK_SANITIZE=ON -DBK_BENCHMARKS=OFF -DBK_WERROR=$(BK_WERROR)

$(FUZZ)/build.ninja: | deps
	cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=$(CLANG) \
	  -DCMAKE_CXX_COMPILER=$(CLANGXX) -DBK_FUZZ=ON -DBK_BENCHMARKS=OFF -DBK_WERROR=$(BK_WERROR)

configure: $(BUILD)/build.ninja

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Builds only what the demo runs (bkreg and the general-ledger module), then a
# small month of work on a fresh company (tools/bkreg/demo.sh).
demo: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target bkreg LEDGERCORE
	BKREG=./$(BUILD)/tools/bkreg/bkreg sh tools/bkreg/demo.sh "$(COMPANY)"

# Every test, in the normal build and in the sanitizer build; then, when
# clang is installed, every fuzz target for a few seconds. A test program
# that fails gets one more run (timing-bound tests of concurrent programs
# can miss under a loaded machine); its first failure stays in the output.
CTEST_FLAGS ?= -j $(JOBS) --output-on-failure --repeat until-pass:2
test: build $(ASAN)/build.ninja
	cd $(BUILD) && ctest $(CTEST_FLAGS)
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest $(CTEST_FLAGS)
	@if [ -n "$(CLANGXX)" ]; then $(MAKE) --no-print-directory test-fuzz; \
	else echo "clang is not installed (make fuzz-deps): fuzz targets not run"; fi

# The fuzz targets from their seed corpora, BK_FUZZ_SECONDS (5) each.
test-fuzz: $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS) --target bk_fuzz
	cd $(FUZZ) && ctest -L fuzz --output-on-failure

# Each fuzz target for SECONDS (60) seconds; crashes are kept in
# $(FUZZ)/fuzz/artifacts/<target>/.
fuzz: fuzz-deps $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS) --target bk_fuzz
	cd $(FUZZ) && BK_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest -L fuzz --timeout $$(( $(FUZZ_SECONDS) + 120 )) --output-on-failure

test-fast: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

bench: build
	./$(BUILD)/bench/bk_bench
	./$(BUILD)/bench/bk_balance_bench
	./$(BUILD)/bench/bk_register_bench

# bkreg against plain-text ledgers and plain SQLite on one register of N
# transactions (built once under /tmp/bk-bench-compare/nN), ROUNDS rounds.
bench-compare: build compare-deps
	python3 bench/compare.py --bkreg $(BUILD)/tools/bkreg/bkreg --n $(N) --rounds $(ROUNDS)

# The web register (bkreg serve) against hledger-web on the same register of
# 100,000 and 1,000,000 transactions: time to the first byte and to the
# whole first page, peak memory, 50 requests per second from 4 clients
# (companies built once under /tmp/bk-bench-web; docs/performance.md).
WEB_SIZES ?= 100000,1000000
bench-web: build compare-deps
	python3 bench/web_compare.py --bkreg $(BUILD)/tools/bkreg/bkreg --sizes $(WEB_SIZES) --rounds $(ROUNDS)

# Entering and register walks on SQLite and PostgreSQL (a throw-away server)
# with 1, 4 and 16 programs at once; medians of ROUNDS rounds.
bench-backends: build
	python3 bench/backends.py --bkreg $(BUILD)/tools/bkreg/bkreg --rounds $(ROUNDS)

# Programs killed (SIGKILL) at RUNS random points while they move transactions
# to history and clear them; every unit must be whole or absent afterwards.
RUNS ?= 200
crash-tx: build
	BK_CRASH_RUNS=$(RUNS) ./$(BUILD)/transactions/transactions_test --gtest_filter='TransactionCrash.*'

# Programs working on one company at once for MINUTES (default 10) minutes
# while backups are taken; then every promise of soak/soak.py is checked.
# COMPANY_URL picks another company (default: a new folder). PROGRAMS (4).
MINUTES  ?= 10
PROGRAMS ?= 4
SOAK_DRIVER_ARGS = --bkreg $(BUILD)/tools/bkreg/bkreg --dump $(BUILD)/soak/bk_company_dump \
                   $(if $(COMPANY_URL),--company $(COMPANY_URL))
soak: build
	python3 soak/soak.py $(SOAK_DRIVER_ARGS) --programs $(PROGRAMS) --seconds $$(( $(MINUTES) * 60 ))

# Random months of a bookkeeper's work (soak/month.py): SEEDS seeds (20),
# MONTHS months (3) of STEPS steps (60) each, every figure the program prints
# checked against a model, the exported journals against ledger and hledger.
SEEDS  ?= 20
MONTHS ?= 3
STEPS  ?= 60
month: build compare-deps
	python3 soak/month.py --bkreg $(BUILD)/tools/bkreg/bkreg --seeds $(SEEDS) --months $(MONTHS) --steps $(STEPS)

# post, reconcile finish and clear killed (SIGKILL) RUNS times (default 200)
# at chosen storage writes and random moments; every unit whole or absent.
crash: build
	python3 soak/crash.py $(SOAK_DRIVER_ARGS) --kills $(RUNS)

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)

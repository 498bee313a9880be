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
             libcli11-dev nlohmann-json3-dev ledger hledger libofx-dev pkg-config
# What the side-by-side benchmark runs besides bkreg.
COMPARE_PACKAGES := ledger hledger sqlite3 time
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

.PHONY: all deps compare-deps fuzz-deps configure build demo test test-fast test-fuzz asan fuzz bench bench-compare bench-backends crash-tx soak soak-server crash month bench-plain round-trips clean

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

# Entering and register walks on SQLite and PostgreSQL (a throw-away server)
# with 1, 4 and 16 programs at once; medians of ROUNDS rounds.
bench-backends: build
	python3 bench/backends.py --bkreg $(BUILD)/tools/bkreg/bkreg --rounds $(ROUNDS)

# bkreg against plain SQL over libpq on the same throw-away server, and
# pgbench's own scaling, with 1, 4 and 16 programs (bench/backends_plain.py);
# DELAY_MS=5 adds that much round-trip delay through a proxy.
DELAY_MS ?= 0
bench-plain: build
	python3 bench/backends_plain.py --bkreg $(BUILD)/tools/bkreg/bkreg --rounds $(ROUNDS) --delay-ms $(DELAY_MS)

# Round trips per operation on a throw-away server, written into the table
# of docs/postgresql.md (the round_trips_pg test checks them).
round-trips: build
	@set -e; dir=$(CURDIR)/$(BUILD)/round-trips-pg; sh tests/support/pg_server.sh start $$dir; \
	trap 'sh tests/support/pg_server.sh stop '$$dir EXIT; \
	python3 bench/round_trips.py --bkreg $(BUILD)/tools/bkreg/bkreg --server-settings $$dir/server.env --write

# Programs killed (SIGKILL) at RUNS random points while they move transactions
# to history and clear them; every unit must be whole or absent afterwards.
RUNS ?= 200
crash-tx: build
	BK_CRASH_RUNS=$(RUNS) ./$(BUILD)/transactions/transactions_test --gtest_filter='TransactionCrash.*'

# Programs working on one company at once for MINUTES (default 10) minutes
# while backups are taken; then every promise of soak/soak.py is checked.
# Then as long of server faults (soak/faults.py, a throw-away server).
# COMPANY_URL picks another company (default: a new folder). PROGRAMS (4).
MINUTES  ?= 10
PROGRAMS ?= 4
SOAK_DRIVER_ARGS = --bkreg $(BUILD)/tools/bkreg/bkreg --dump $(BUILD)/soak/bk_company_dump \
                   $(if $(COMPANY_URL),--company $(COMPANY_URL))
soak: build
	python3 soak/soak.py $(SOAK_DRIVER_ARGS) --programs $(PROGRAMS) --seconds $$(( $(MINUTES) * 60 ))
	python3 soak/faults.py --bkreg $(BUILD)/tools/bkreg/bkreg --dump $(BUILD)/soak/bk_company_dump \
	  --server-dir $(CURDIR)/$(BUILD)/faults-pg --programs $(PROGRAMS) --seconds $$(( $(MINUTES) * 60 )) || test $$? = 77

# The drivers on a PostgreSQL server of their own (a throw-away one that
# syncs to disk, in $(BUILD)/soak-pg): soak.py with SERVER_PROGRAMS (16)
# programs for MINUTES, as many crash.py drivers at once (each its own
# company, RUNS / SERVER_PROGRAMS kills), then faults.py with
# SERVER_PROGRAMS programs while the server is restarted and connections
# are ended for MINUTES.
SERVER_PROGRAMS ?= 16
soak-server: build
	@set -e; dir=$(CURDIR)/$(BUILD)/soak-pg; PG_FSYNC=on sh tests/support/pg_server.sh start $$dir; \
	trap 'sh tests/support/pg_server.sh stop '$$dir EXIT; \
	python3 soak/soak.py $(SOAK_DRIVER_ARGS) --server-settings $$dir/server.env --programs $(SERVER_PROGRAMS) \
	  --seconds $$(( $(MINUTES) * 60 )); \
	pids=""; for i in $$(seq $(SERVER_PROGRAMS)); do \
	  python3 soak/crash.py $(SOAK_DRIVER_ARGS) --server-settings $$dir/server.env \
	    --kills $$(( ($(RUNS) + $(SERVER_PROGRAMS) - 1) / $(SERVER_PROGRAMS) )) >$$dir/crash-$$i.log 2>&1 & pids="$$pids $$!"; \
	done; failed=0; for p in $$pids; do wait $$p || failed=$$((failed + 1)); done; \
	tail -n 3 $$dir/crash-*.log; echo "crash drivers failed: $$failed of $(SERVER_PROGRAMS)"; \
	python3 soak/faults.py --bkreg $(BUILD)/tools/bkreg/bkreg --dump $(BUILD)/soak/bk_company_dump \
	  --server-dir $(CURDIR)/$(BUILD)/faults-pg --programs $(SERVER_PROGRAMS) --seconds $$(( $(MINUTES) * 60 )); \
	test $$failed = 0

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

# Thin wrapper: installs what a fresh Debian machine lacks, configures, builds,
# then runs the main job (demo) or every test (test).
#
# Two build folders:
#   build/       g++, RelWithDebInfo: the program users get (demo, bench); in
#                `make test` it runs the PostgreSQL forms of the tests.
#   build-asan/  clang, AddressSanitizer + UndefinedBehaviorSanitizer, with the
#                libFuzzer targets linked: in `make test` it runs every test
#                on SQLite and each fuzz target for a few seconds.
# docs/testing.md says what each phase costs on a clean clone.
BUILD     ?= build
ASAN      ?= build-asan
JOBS      ?= 2
COMPANY   ?= $(CURDIR)/demo-company
# Paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR := $(CURDIR)
# A -g build would otherwise hash the build folder, so no clone hits another's cache.
export CCACHE_NOHASHDIR := 1
PACKAGES  := cmake g++ ninja-build ccache libsqlite3-dev sqlite3 libgtest-dev libgmock-dev googletest libpq-dev postgresql-15 libbenchmark-dev python3 \
             libcli11-dev nlohmann-json3-dev ledger hledger libofx-dev pkg-config libcpp-httplib-dev libssl-dev
# The sanitizer build's compiler (clang: ASan, UBSan and libFuzzer).
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
# The web register's browser tests: headless Chromium through its WebDriver.
BROWSER_PACKAGES := chromium chromium-driver python3-selenium
TEST_PACKAGES := $(PACKAGES) $(FUZZ_PACKAGES) $(BROWSER_PACKAGES)
# What the side-by-side benchmark runs besides bkreg.
COMPARE_PACKAGES := ledger hledger sqlite3 time hledger-web
# Warnings are errors when BK_WERROR=ON (CI sets it; developers export it).
# It takes effect when a build folder is configured.
BK_WERROR ?= OFF
CLANG     ?= clang-14
CLANGXX   ?= clang++-14
# The sanitizer build: -O1 keeps ASan's run time low at little compile cost;
# line tables are all a sanitizer report needs and link far faster than -g.
ASAN_FLAGS := -O1 -gline-tables-only
# `make fuzz SECONDS=n` runs each target n seconds (the shell's own SECONDS
# variable is ignored); `make test` runs each for a few seconds.
FUZZ_SECONDS := $(if $(filter command line,$(origin SECONDS)),$(SECONDS),60)
N         ?= 100000
ROUNDS    ?= 5

.PHONY: all deps test-deps compare-deps fuzz-deps configure build asan demo test test-pg test-asan test-fast test-fuzz fuzz bench bench-compare bench-web bench-reconcile bench-backends crash-tx soak soak-server crash month bench-plain round-trips clean

all: build

# deps: what the normal build needs; test-deps: that and clang (fuzz-deps is
# kept as its old name); compare-deps: what bench-compare runs beside bkreg.
fuzz-deps: test-deps
deps test-deps compare-deps: PKGS = $(if $(filter compare-deps,$@),$(COMPARE_PACKAGES),$(if $(filter test-deps,$@),$(TEST_PACKAGES),$(PACKAGES)))
deps test-deps compare-deps:
	@missing=""; for p in $(PKGS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBK_WERROR=$(BK_WERROR)

$(ASAN)/build.ninja: | test-deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=$(CLANG) -DCMAKE_CXX_COMPILER=$(CLANGXX) \
	  "-DCMAKE_C_FLAGS_DEBUG=$(ASAN_FLAGS)" "-DCMAKE_CXX_FLAGS_DEBUG=$(ASAN_FLAGS)" \
	  -DBK_SANITIZE=ON -DBK_FUZZ=ON -DBK_BENCHMARKS=OFF -DBK_WERROR=$(BK_WERROR)

configure: $(BUILD)/build.ninja

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

asan: $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

# Builds only what the demo runs (bkreg and the general-ledger module), then a
# small month of work on a fresh company (tools/bkreg/demo.sh).
demo: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target bkreg LEDGERCORE
	BKREG=./$(BUILD)/tools/bkreg/bkreg sh tools/bkreg/demo.sh "$(COMPANY)"

# Every test once: the PostgreSQL forms (label "postgres", one throw-away
# server) and the short benchmark comparison in the normal build, where they
# run fastest (only what they run is built there, and the benchmarks: bk_normal_tests); every
# other test on SQLite, and each fuzz target for
# BK_FUZZ_SECONDS (5) from its corpus, in the sanitizer build. No test is
# retried: a test that fails once fails the run.
CTEST_FLAGS ?= -j $(JOBS) --output-on-failure
test: test-pg test-asan

test-pg: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target bk_normal_tests
	cd $(BUILD) && ctest $(CTEST_FLAGS) -L 'postgres|benchmark'

test-asan: asan
	cd $(ASAN) && ctest $(CTEST_FLAGS) -LE postgres

# The fuzz targets alone, from their seed corpora, BK_FUZZ_SECONDS (5) each.
test-fuzz: $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS) --target bk_fuzz
	cd $(ASAN) && ctest -L fuzz --output-on-failure

# Each fuzz target for SECONDS (60) seconds; crashes are kept in
# $(ASAN)/fuzz/artifacts/<target>/.
fuzz: $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS) --target bk_fuzz
	cd $(ASAN) && BK_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest -L fuzz --timeout $$(( $(FUZZ_SECONDS) + 120 )) --output-on-failure

# Every test in the normal build (SQLite and PostgreSQL forms).
test-fast: build
	cd $(BUILD) && ctest $(CTEST_FLAGS)

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

# The reconciliation page on an account of 1,000,000 transactions: a
# statement of 2,000 lines uploaded to its matched page, and ticks timed by
# the server (company built once under /tmp/bk-bench-recon; docs/performance.md).
bench-reconcile: build
	python3 bench/reconcile_bench.py --bkreg $(BUILD)/tools/bkreg/bkreg --rounds $(ROUNDS)

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
# Then import killed RUNS times at random writes on a file of 3,000 lines,
# run again after each: every line in the register exactly once.
crash: build
	python3 soak/crash.py $(SOAK_DRIVER_ARGS) --kills $(RUNS)
	BK_IMPORT_KILLS=$(RUNS) ./$(BUILD)/tools/bkreg/bkreg_import_test --gtest_filter='BkregImport.EveryLine*'

clean:
	rm -rf $(BUILD) $(ASAN)

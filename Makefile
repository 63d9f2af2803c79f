# Each target installs what is missing first (see scripts/).
.PHONY: demo test test-asan test-distros wheel fuzz bench mutants clean

demo:
	bash scripts/demo.sh

test:
	bash scripts/test.sh

test-asan:
	bash scripts/asan.sh

# The README's commands in fresh Debian trixie and sid chroots (root, debootstrap).
test-distros:
	bash scripts/test-distros.sh

wheel:
	bash scripts/wheel.sh

# FUZZ_SECONDS=... and FUZZ_SEED=... override the time and the seed.
fuzz:
	bash scripts/fuzz.sh

bench:
	bash scripts/bench.sh

# The fast roads' mutants against the suite, in a clone of HEAD under build-mutants/.
# MUTANTS_ARGS=... passes options (--only NAME..., --list, --jobs N).
mutants:
	bash -c 'source scripts/common.sh && run_helper mutants.py $(MUTANTS_ARGS)'

clean:
	rm -rf build build-* .venv-* .venv-bench .hypothesis wheelhouse python/tarmelix/_tarmelix*.so

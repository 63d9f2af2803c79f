# Each target installs what is missing first (see scripts/).
.PHONY: demo test test-asan bench clean

demo:
	bash scripts/demo.sh

test:
	bash scripts/test.sh

test-asan:
	bash scripts/asan.sh

bench:
	bash scripts/bench.sh

clean:
	rm -rf build build-* .venv-* .venv-bench python/tarmelix/_tarmelix*.so

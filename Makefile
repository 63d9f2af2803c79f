# Each target installs what is missing first (see scripts/).
.PHONY: demo test test-asan wheel bench clean

demo:
	bash scripts/demo.sh

test:
	bash scripts/test.sh

test-asan:
	bash scripts/asan.sh

wheel:
	bash scripts/wheel.sh

bench:
	bash scripts/bench.sh

clean:
	rm -rf build build-* .venv-* .venv-bench wheelhouse python/tarmelix/_tarmelix*.so

# The two entry points of the README. Both install what they need first (scripts/setup).
.PHONY: setup demo test bench fuzz

setup:
	scripts/setup

demo: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target zavol
	build/native/bin/zavol demo -o demo.png

test: setup
	scripts/test

bench: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target engine_bench png_codec_bench
	build/native/bin/engine_bench
	build/native/bin/png_codec_bench

# Every fuzz target for FUZZ_SECONDS each, two at a time; a crash fails and is kept.
FUZZ_SECONDS ?= 60
fuzz: setup
	scripts/fuzz --jobs 2 $(FUZZ_SECONDS)

# The Debian packages (zavol, libzavol1, libzavol-dev, python3-zavol, ...) in build/package.
.PHONY: package
package: setup
	cmake --preset package >/dev/null
	cmake --build --preset package

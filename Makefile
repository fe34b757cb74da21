# The two entry points of the README. Both install what they need first (scripts/setup).
.PHONY: setup demo test bench fuzz gegl-user web

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

# The GEGL operation and the GIMP 2.10 plug-in for the current user only (no root needed):
# GEGL's and GIMP's own folders under the home directory.
gegl-user:
	cmake --preset native >/dev/null
	cmake --build --preset native --target zavol_gegl zavol_gimp
	install -D -m 644 build/native/gegl-0.4/zavol-autostereogram.so \
		$(HOME)/.local/share/gegl-0.4/plug-ins/zavol-autostereogram.so
	install -D -m 755 build/native/gimp-plug-ins/zavol-autostereogram/zavol-autostereogram \
		$(HOME)/.config/GIMP/2.10/plug-ins/zavol-autostereogram/zavol-autostereogram

# The page: the WebAssembly build, served on 127.0.0.1:8080 with the headers threads need.
web: setup
	cmake --preset web >/dev/null
	cmake --build --preset web
	node web/serve.mjs build/web/site

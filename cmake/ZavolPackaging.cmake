# Debian packages with CPack, one per install component: the tool (zavol, with its man pages and
# completions), the shared library (libzavol1), what building against it needs (libzavol-dev),
# the Python module (python3-zavol), and the add-ons' components where the tree installs them.
# `make package` configures the `package` preset (prefix /usr) and runs cpack there.
# Included last, once every install rule is known.

# The packages put files where this tree installs them: only the package preset's prefix /usr
# makes them Debian packages (other trees can run cpack, for a look).
set(ZAVOL_PACKAGE_NAMES
  "tool=zavol;library=libzavol1;development=libzavol-dev;python=python3-zavol;blender=zavol-blender;gegl=gegl-zavol"
  CACHE INTERNAL "Install component = Debian package")

get_cmake_property(_zavol_components COMPONENTS)
list(REMOVE_ITEM _zavol_components Unspecified)
set(_zavol_doc_root ${CMAKE_BINARY_DIR}/package-doc)
set(_zavol_date "")
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%aD
  OUTPUT_VARIABLE _zavol_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(_zavol_date STREQUAL "")
  string(TIMESTAMP _zavol_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _zavol_licence)
# The machine-readable copyright file's licence text: each line indented, blank lines as " .".
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) the zavol authors\n\n" "" _zavol_licence "${_zavol_licence}")
string(REGEX REPLACE "\n$" "" _zavol_licence "${_zavol_licence}")
string(REPLACE "\n\n" "\n.\n" _zavol_licence "${_zavol_licence}")
string(REPLACE "\n" "\n" _zavol_licence " ${_zavol_licence}")

foreach(_component IN LISTS _zavol_components)
  set(_package "")
  foreach(_pair IN LISTS ZAVOL_PACKAGE_NAMES)
    string(REPLACE "=" ";" _pair "${_pair}")
    list(GET _pair 0 _c)
    if(_c STREQUAL _component)
      list(GET _pair 1 _package)
    endif()
  endforeach()
  if(_package STREQUAL "")
    set(_package zavol-${_component})
  endif()
  string(TOUPPER ${_component} _C)
  set(CPACK_DEBIAN_${_C}_PACKAGE_NAME ${_package})
  set(_doc ${_zavol_doc_root}/${_package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package-copyright.in ${_doc}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package-changelog.in ${_doc}/changelog @ONLY)
  # Debian keeps documentation and changelogs compressed, without a time stamp in the header.
  execute_process(COMMAND gzip -9nf ${_doc}/changelog RESULT_VARIABLE _gzip)
  if(NOT _gzip EQUAL 0)
    message(FATAL_ERROR "zavol: gzip failed on ${_doc}/changelog")
  endif()
  # The maintainer field and the changelog's trailer name the zavol authors, who publish no
  # contact address, so lintian's checks for one are overridden with that reason.
  file(WRITE ${_doc}/lintian-overrides
    "# The zavol authors publish no contact address.\n${_package}: malformed-contact\n${_package}: bogus-mail-host-in-debian-changelog\n")
  install(FILES ${_doc}/copyright ${_doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package}
    COMPONENT ${_component})
  install(FILES ${_doc}/lintian-overrides RENAME ${_package}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${_component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zavol)
set(CPACK_PACKAGE_VENDOR "the zavol authors")
set(CPACK_PACKAGE_CONTACT "the zavol authors")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the zavol authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${_zavol_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 0)

set(_zavol_about
  "zavol renders depth maps (OpenEXR, PFM, PNG height maps, depth videos) into\nrandom-dot autostereograms: pictures that show depth to crossed or parallel\neyes.")
set(CPACK_DEBIAN_TOOL_DESCRIPTION
  "random-dot autostereograms from depth maps - command-line tool\n${_zavol_about}\n\nThis package holds the zavol command, its manual pages and its bash, zsh and\nfish completions.")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
  "random-dot autostereograms from depth maps - shared library\n${_zavol_about}\n\nThis package holds libzavol, the rendering engine behind a C interface.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "random-dot autostereograms from depth maps - development files\n${_zavol_about}\n\nThis package holds the C header, the static library, and the pkg-config and\nCMake files for building programs with libzavol.")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "random-dot autostereograms from depth maps - Python 3 module\n${_zavol_about}\n\nThis package holds the zavol module for Python 3, working on NumPy arrays.")
set(CPACK_DEBIAN_BLENDER_DESCRIPTION
  "random-dot autostereograms from depth maps - Blender add-on\n${_zavol_about}\n\nThis package holds the add-on, as the zip that Blender's add-on installer\ntakes, in /usr/share/zavol/blender: it turns every render and animation into\na stereogram from the render's own depth.")
set(CPACK_DEBIAN_GEGL_DESCRIPTION
  "random-dot autostereograms from depth maps - GEGL operation\n${_zavol_about}\n\nThis package holds the GEGL operation and the image editor plug-in that\nturn a layer's depth into a stereogram.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libzavol1 (= ${PROJECT_VERSION})")
# The module is built for one interpreter version and imports NumPy at load time.
if(ZAVOL_PYTHON_VERSION MATCHES "^([0-9]+)\\.([0-9]+)")
  math(EXPR _zavol_python_next "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}), python3 (<< ${CMAKE_MATCH_1}.${_zavol_python_next}), python3-numpy")
endif()
# The shared library asks for ldconfig through a trigger, as Debian's libraries do.
file(WRITE ${_zavol_doc_root}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${_zavol_doc_root}/triggers)
# The Blender add-on is a zip for Blender's add-on installer; the zavol module and the video
# module inside it are the ones python3-zavol and zavol carry, so those bring the libraries they
# load (dpkg-shlibdeps does not look inside the zip).
set(CPACK_DEBIAN_BLENDER_PACKAGE_DEPENDS
  "blender, python3-zavol (= ${PROJECT_VERSION}), zavol (= ${PROJECT_VERSION})")

include(CPack)

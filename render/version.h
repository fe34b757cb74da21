/* The release number, kept here and nowhere else: CMake reads the three numbers for
   project(VERSION), the resource script takes the about box's text from here, the plug-in and
   the tool report it. Plain #defines, so the resource compiler reads it too; nothing else. */
#ifndef ZAVOL_RENDER_VERSION_H
#define ZAVOL_RENDER_VERSION_H

/* Plain decimal numbers (no leading zeros: CMake and the preprocessor both read them). */
#define ZAVOL_VERSION_MAJOR 1
#define ZAVOL_VERSION_MINOR 0
#define ZAVOL_VERSION_PATCH 0

#define ZAVOL_STRINGIFY_(x) #x
#define ZAVOL_STRINGIFY(x) ZAVOL_STRINGIFY_(x)

/* "1.0.0": what the tool's --version shows. */
#define ZAVOL_VERSION_TEXT                                                               \
  ZAVOL_STRINGIFY(ZAVOL_VERSION_MAJOR) "." ZAVOL_STRINGIFY(ZAVOL_VERSION_MINOR) "." \
  ZAVOL_STRINGIFY(ZAVOL_VERSION_PATCH)

/* The version number the plug-in reports (LibVersion, the filter's own) is major * 100 + minor,
   which its about box shows as major.MM: 100 is "1.00". Patch releases leave both alone. */
#if ZAVOL_VERSION_MINOR > 99
#error "the host's version number has two digits for the minor number"
#endif
#define ZAVOL_FILTER_VERSION (ZAVOL_VERSION_MAJOR * 100 + ZAVOL_VERSION_MINOR)
#if ZAVOL_VERSION_MINOR < 10
#define ZAVOL_FILTER_VERSION_TEXT \
  ZAVOL_STRINGIFY(ZAVOL_VERSION_MAJOR) ".0" ZAVOL_STRINGIFY(ZAVOL_VERSION_MINOR)
#else
#define ZAVOL_FILTER_VERSION_TEXT \
  ZAVOL_STRINGIFY(ZAVOL_VERSION_MAJOR) "." ZAVOL_STRINGIFY(ZAVOL_VERSION_MINOR)
#endif

#endif

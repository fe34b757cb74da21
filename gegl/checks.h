/* What the operation and the GIMP plug-in check before and after a frame renders: the library's
   own checks (zavol_settings_check, the findings of zavol_render), worded with the operation's
   property names. C, over libzavol's settings record. */
#ifndef ZAVOL_GEGL_CHECKS_H
#define ZAVOL_GEGL_CHECKS_H

#include <glib.h>

#include "libzavol/zavol.h"

G_BEGIN_DECLS

/* Why the settings cannot make a picture, as the tool refuses them (a background depth of 0,
   without auto distance a near distance not nearer than the far one, ...), naming the
   property; NULL when they can. */
gchar *zavol_gegl_settings_problem(const zavol_settings *settings);

/* Logs the tool's warnings about a frame that renders but cannot be seen in relief as set up
   (nothing in front of the background, too few background repeats to fuse, near and far at
   one separation, a level merging with the background), one g_warning each, from the findings
   zavol_render filled for a frame width pixels wide. */
void zavol_gegl_warn_about_frame(const zavol_findings *findings, int width);

G_END_DECLS

#endif

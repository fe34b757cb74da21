/* Whether a frame can be fused as set up, with the engine's own geometry: the operation's
   counterpart of the tool's warning. C, over libzavol's settings record. */
#ifndef ZAVOL_GEGL_FUSION_H
#define ZAVOL_GEGL_FUSION_H

#include "libzavol/zavol.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Logs one warning when fewer than three background repeats fit across width pixels: the
   picture still renders, but it is hard or impossible to see in relief. */
void warn_if_unfusable(const zavol_settings *settings, int width, int height, int screen_width,
                       int screen_height);

#ifdef __cplusplus
}
#endif

#endif

/* zavol.h: the zavol stereogram engine as a C library. Random-dot autostereograms from depth:
   a depth buffer in, an image of 16-bit RGBA pixels out. C99 and C++; the library keeps no
   global state, so threads may render different frames at the same time.

   Every function that can fail returns ZAVOL_OK (0) or a negative zavol_status, which
   zavol_status_text describes in one line. A frame is rendered like this:

     zavol_settings s;  zavol_settings_default(&s);     (or zavol_settings_from_bytes)
     zavol_options o;   zavol_options_default(&o);      (required: it sets struct_size)
     zavol_depth depth = {values, width, height, 0};
     zavol_image out = {pixels, width, height, 0};      (4 * width * height uint16_t)
     int status = zavol_render(&s, &depth, &o, &out);

   Installed as include/zavol.h; in the source tree it takes its version numbers from the
   project's one version file. */
#ifndef ZAVOL_H
#define ZAVOL_H

#include <stddef.h>
#include <stdint.h>

/* The release: ZAVOL_VERSION_MAJOR, _MINOR and _PATCH. The library's soname carries the major
   number; within one major number programs built against an older header keep working. */
#include "render/version.h"

#if defined(__GNUC__) && !defined(_WIN32)
#define ZAVOL_API __attribute__((visibility("default")))
#else
#define ZAVOL_API
#endif

/* The library is C++ inside; callbacks must not throw through it. */
#ifdef __cplusplus
#define ZAVOL_NOEXCEPT noexcept
extern "C" {
#else
#define ZAVOL_NOEXCEPT
#endif

/* The largest width or height of a frame or pattern: the host renderer's bitmaps count pixels
   in 16 bits, and the engine keeps that limit. */
#define ZAVOL_MAX_SIDE 65535

typedef enum zavol_status {
  ZAVOL_OK = 0,
  ZAVOL_E_NULL = -1,           /* a required pointer is null */
  ZAVOL_E_SIZE = -2,           /* a width or height is <= 0 or above ZAVOL_MAX_SIDE */
  ZAVOL_E_STRIDE = -3,         /* a row stride is shorter than a row (or beyond addressing) */
  ZAVOL_E_SIZE_MISMATCH = -4,  /* the output image's size differs from the depth's */
  ZAVOL_E_STOPPED = -5,        /* progress asked to stop; rows from that row on are untouched */
  ZAVOL_E_NO_MEMORY = -6,      /* the frame's working memory could not be allocated */
  ZAVOL_E_DEPTH_KIND = -7,     /* not one of the ZAVOL_DEPTH_ kinds */
  ZAVOL_E_SETTINGS_SIZE = -8,  /* a settings block is not 56 bytes */
  ZAVOL_E_OVERLAP = -9,        /* the output image overlaps the depth or the pattern */
  ZAVOL_E_OPTIONS = -10,       /* options not set up by zavol_options_default, or findings
                                  without their struct_size */
  ZAVOL_E_OPTION_VALUE = -11,  /* an option is not one of its values (dots, dot_size, anchor,
                                  view, oversample, linking, threads) */
  ZAVOL_E_SETTING_VALUE = -12  /* a settings field is not a number within its range */
} zavol_status;

/* The filter's 56-byte settings record, field by field in its stored order. Codes, flags and
   colours outside the setup dialog's ranges are rendered as the plug-in renders them; reals that
   cannot make a picture are refused by zavol_render (ZAVOL_E_SETTING_VALUE), as the tool
   refuses them. */
typedef struct zavol_settings {
  float near_object_depth;  /* fraction of the background separation for the nearest depth */
  float far_object_depth;   /* the same for the farthest depth */
  float background_depth;   /* background plane behind the image, in viewer distances */
  int32_t viewing_medium;   /* 1000..1004 monitors 14..21 inch, 1005..1007 paper A5..A3, 1008 dpi */
  int32_t custom_dpi;       /* pixels per inch for medium 1008 */
  int32_t auto_distance;    /* 1: depth range from the frame; 0: from the two distances */
  float far_distance;       /* farthest scene point from the camera (auto_distance 0) */
  float near_distance;      /* nearest scene point from the camera (auto_distance 0) */
  uint32_t color1, color2;  /* the dots' colour ramp; COLORREF: red in the lowest byte */
  int32_t ramp_mode;        /* 1023 red-green-blue ramp, anything else hue-saturation-value */
  int32_t put_guide_points; /* 1: convergence guide over rows 5 to 15 */
  int32_t randomize_each_frame; /* 1: dots seeded with zavol_options.seed; 0: with 0 */
  int32_t prevent_ghosting; /* 1: a dot is repeated at most once per row */
} zavol_settings;

#define ZAVOL_SETTINGS_BYTES 56

/* The record's defaults, as a new filter starts. */
ZAVOL_API void zavol_settings_default(zavol_settings *s) ZAVOL_NOEXCEPT;
/* A stored block (little-endian, exactly 56 bytes) into *s; any other size: an error. */
ZAVOL_API int zavol_settings_from_bytes(zavol_settings *s, const void *bytes,
                                        size_t size) ZAVOL_NOEXCEPT;
/* *s as a stored block of 56 bytes. */
ZAVOL_API void zavol_settings_to_bytes(const zavol_settings *s, void *bytes56) ZAVOL_NOEXCEPT;

/* Depth in the engine's convention: negative in front of the camera, nearer is closer to 0,
   -1e30 or less (far below any scene) for pixels with nothing in them. Row y starts at
   values + y * row_stride; row_stride 0 means width. */
typedef struct zavol_depth {
  const float *values;
  int width, height;
  ptrdiff_t row_stride; /* in floats */
} zavol_depth;

/* 16-bit pixels, four values each: red, green, blue, alpha; 65535 is full. Row y starts at
   pixels + y * row_stride; row_stride 0 means 4 * width. */
typedef struct zavol_image {
  uint16_t *pixels;
  int width, height;
  ptrdiff_t row_stride; /* in uint16_t */
} zavol_image;

/* What zavol_render finds about a frame that renders but may not be seen in relief as set up,
   read from the numbers the frame is rendered with; each face words them as its warnings.
   The caller sets struct_size to sizeof(zavol_findings) and hands the struct over through
   zavol_options.findings; the library fills the fields the caller's struct holds when the
   frame is done (ZAVOL_OK) and leaves it as it was otherwise. Fields are only ever appended. */
typedef struct zavol_findings {
  size_t struct_size;
  /* 1: some pixel lies in front of the background. 0: none does, so the picture is flat (often
     depth read as the wrong kind); the other findings then describe the background alone. */
  int scene;
  int background;  /* the background's separation, px: one background repeat */
  double repeats;  /* background repeats across the width */
  int few_repeats; /* 1: fewer than ZAVOL_FEWEST_REPEATS, too few to fuse easily or at all */
  /* Why near and far get one separation, so the scene shows flat: ZAVOL_FLAT_NO (they differ),
     ZAVOL_FLAT_SAME_DEPTH (auto distance, and every scene pixel at one depth: give the range
     with the distances), ZAVOL_FLAT_SAME_FRACTION (near and far object depths equal),
     ZAVOL_FLAT_RESOLUTION (the medium's resolution rounds them to one: raise the dpi). */
  int flat;
  int separation; /* that one separation, px, when flat */
  /* The farthest flat level of the scene gets the background's separation: where it meets the
     background there is no step, and its outline is lost (a box on an empty background
     vanishes). The defaults do this, as auto distance maps the farthest depth to the far
     object depth, 1, the background's own. */
  int level_merges;
  int64_t level_pixels; /* pixels of the merging level */
  float level_depth;    /* its depth, in the engine's convention (negative) */
  /* 1: a far object depth below 1 lifts it off; 0: a fixed range leaves it beyond its far end,
     and a far distance beyond it (or auto distance) lifts it off. */
  int lifted_by_far_object_depth;
} zavol_findings;

enum {
  ZAVOL_FLAT_NO = 0,
  ZAVOL_FLAT_SAME_DEPTH = 1,
  ZAVOL_FLAT_SAME_FRACTION = 2,
  ZAVOL_FLAT_RESOLUTION = 3
};

/* Fewer background repeats than this across the width are hard or impossible to fuse. */
#define ZAVOL_FEWEST_REPEATS 3
/* zavol_fit_dpi makes the background repeat this many times across the width. */
#define ZAVOL_FIT_REPEATS 8

typedef struct zavol_options {
  /* sizeof(zavol_options) as the caller compiled it, set by zavol_options_default: fields are
     only ever appended, and a library reads only those the caller knows of. */
  size_t struct_size;
  int screen_width, screen_height; /* for the monitor media; default 1920x1080 */
  uint32_t seed;                   /* start of a frame when randomize_each_frame is set */
  /* Optional dot source (null: the colour ramp): pixel (x, y) is the dot at (x, y), not tiled;
     a dot outside it keeps the colour its pixel had. Must not overlap the output. */
  const zavol_image *pattern;
  /* Optional: asked before each row with the row and the last row's index (height - 1);
     non-zero stops the frame with ZAVOL_E_STOPPED. Rows above row are final by then (the
     guide, when on, is painted into rows 5 to 15 as they are made). */
  int (*progress)(void *user, int row, int last_row);
  void *user;

  /* Viewing options beyond the plug-in, appended after the first release (a caller built
     against an older header gets their defaults). The defaults give the plug-in's pixels; any
     other value renders through a row builder of their own. They combine freely with each
     other, both ramps, the pattern and the guide.
     dots        ZAVOL_DOTS_STREAM: new dots from the frame's random stream, one after another.
                 ZAVOL_DOTS_STABLE: from a hash of the dot's place and the seed, through the same
                 ramps (a pattern is read as ever), so dots hold still from frame to frame where
                 the depth does: give every frame of an animation the same seed.
     dot_size    1..64: dots of dot_size x dot_size pixels (default 1).
     anchor      which of a row's linked pixels gives them their colour: ZAVOL_ANCHOR_AUTO (left
                 for stream dots, centre for stable ones), ZAVOL_ANCHOR_LEFT (the leftmost, the
                 plug-in's), ZAVOL_ANCHOR_CENTRE (the one nearest the picture's centre, so a
                 depth change recolours only what lies beyond it seen from the centre).
     view        ZAVOL_VIEW_WALL: for eyes diverged behind the picture (the plug-in's).
                 ZAVOL_VIEW_CROSS: for eyes crossed in front of it; separations are mirrored
                 within the wall-eyed range, so the scene still comes out toward the viewer.
     oversample  1..8: rows linked at oversample times the width and averaged down, so that
                 depth steps are 1/oversample pixel (default 1).
     linking     ZAVOL_LINKING_CLASSIC: each pixel repeats the one a separation to its left.
                 ZAVOL_LINKING_SYMMETRIC: pairs centred on each point; points one eye cannot
                 see are not linked; settings' prevent_ghosting does not apply.
     Any other value: ZAVOL_E_OPTION_VALUE. */
  int dots, dot_size, anchor, view, oversample, linking;

  /* Threads the frame renders on, the calling thread included: 0 (the default) every core,
     fewer for small frames; 1 the calling thread alone; N at most N (up to 64). The pixels are
     the same for every count. progress is still called on the calling thread, for every row in
     order; rows below the one it is asked for may already be built in the library's own
     memory, and a stop drops them: out's rows from the stop on are never written. The viewing
     options' rows above render on the calling thread alone. Negative: ZAVOL_E_OPTION_VALUE.
     Callers built before this field render with the default. */
  int threads;
  /* Optional row sink, appended later (callers built before it have none): rows [first, end)
     of the frame are final, guide included: end - first rows of 4 * width uint16_t each,
     row_stride uint16_t apart, readable during the call only. Called on the calling thread, in
     row order, every row once. Non-zero stops the frame with ZAVOL_E_STOPPED. With a sink, out
     may be null: the frame then streams through a few rows of the library's memory, so a frame
     of any height fits; with out too, each row lands in out before it is handed over. */
  int (*rows)(void *user, int first, int end, const uint16_t *pixels, ptrdiff_t row_stride);
  /* Optional, appended later (callers built before it have none): filled when the frame is
     done, from the frame's own plan, at the cost of a look at the depth (the whole depth only
     when the far end of its range could meet the background). A struct_size below the first
     zavol_findings or above this library's: ZAVOL_E_OPTIONS, before anything is rendered. */
  zavol_findings *findings;
} zavol_options;

enum { ZAVOL_DOTS_STREAM = 0, ZAVOL_DOTS_STABLE = 1 };
enum { ZAVOL_ANCHOR_AUTO = 0, ZAVOL_ANCHOR_LEFT = 1, ZAVOL_ANCHOR_CENTRE = 2 };
enum { ZAVOL_VIEW_WALL = 0, ZAVOL_VIEW_CROSS = 1 };
enum { ZAVOL_LINKING_CLASSIC = 0, ZAVOL_LINKING_SYMMETRIC = 1 };

/* The defaults above, a null pattern and progress, and struct_size. */
ZAVOL_API void zavol_options_default(zavol_options *o) ZAVOL_NOEXCEPT;

/* Renders one stereogram of depth into out (null only with the rows sink), which must be as large
   as depth and overlap neither depth nor the pattern. Done: every pixel of out is written. On
   an error nothing is written; when stopped, the rows from the stop on are as they were and the
   rows above it as in the finished frame. Nothing outside out's rows of width pixels is ever
   written (the gaps a longer row stride leaves stay untouched). Settings that cannot make a
   picture, as `zavol render` refuses them (a real field that is not a finite number within its
   range, a background depth of 0, a custom dpi out of range, without auto distance a near
   distance not nearer than the far one): ZAVOL_E_SETTING_VALUE. */
ZAVOL_API int zavol_render(const zavol_settings *s, const zavol_depth *depth,
                           const zavol_options *o, zavol_image *out) ZAVOL_NOEXCEPT;

/* Whether s can make a picture, as zavol_render and `zavol render` judge it: ZAVOL_OK, or
   ZAVOL_E_SETTING_VALUE for the first problem in record order (a real field that is not a
   finite number within its range, a background depth of 0, a custom dpi out of range with the
   custom medium, without auto distance a near distance not nearer than the far one). Codes,
   flags and colours always render, as the plug-in renders them.
   The problem is worded into text ("background_depth is 0, which makes every separation 0 px"),
   naming each field by names[i], i its row in the field table (the settings rows come first,
   so names needs one entry per settings field); names null, or a null entry, gives the table's
   own name. text takes at most text_size bytes, its terminating 0 included, cut at a character
   boundary of UTF-8; text may be null when text_size is 0. With ZAVOL_OK it is "".
   *field (field may be null) is the row of the first field involved, or -1 with ZAVOL_OK.
   s null: ZAVOL_E_NULL, and nothing is written; no memory for the text: ZAVOL_E_NO_MEMORY. */
ZAVOL_API int zavol_settings_check(const zavol_settings *s, const char *const *names, char *text,
                                   size_t text_size, int *field) ZAVOL_NOEXCEPT;

/* The custom dpi at which the background of s repeats ZAVOL_FIT_REPEATS times across width
   pixels, within the dpi field's range: for a picture whose viewing medium is unknown, render
   with viewing_medium 1008 and this custom_dpi. ZAVOL_E_NULL for a null s, ZAVOL_E_SIZE for a
   width outside 1..ZAVOL_MAX_SIDE. */
ZAVOL_API int zavol_fit_dpi(const zavol_settings *s, int width) ZAVOL_NOEXCEPT;

/* A one-line description of a status; unknown statuses get one too. Never null. */
ZAVOL_API const char *zavol_status_text(int status) ZAVOL_NOEXCEPT;

/* What the numbers of a depth buffer mean; zavol_depth_convert turns them into the engine's
   convention in place, empty pixels becoming -1e30.
     HOST       already the engine's convention: unchanged
     DISTANCE   distance d from the camera: -d; not finite, <= 0 or >= far_cutoff: empty
     DISPARITY  bigger is nearer (distance 1/p): -1/p; not finite or <= 0: empty
     HEIGHT     0..1, 1 nearest: h - 1 (above 1 counts as 1); not finite or <= 0: empty
     MIST       0 nearest .. 1 farthest: -m; not finite, < 0 or >= 1: empty */
enum {
  ZAVOL_DEPTH_HOST = 0,
  ZAVOL_DEPTH_DISTANCE = 1,
  ZAVOL_DEPTH_DISPARITY = 2,
  ZAVOL_DEPTH_HEIGHT = 3,
  ZAVOL_DEPTH_MIST = 4
};
ZAVOL_API int zavol_depth_convert(float *values, size_t count, int kind,
                                  float far_cutoff) ZAVOL_NOEXCEPT;

/* The fields a caller may set, so that forms, flags and checks are built from the library
   instead of copying its ranges: the fourteen settings fields in record order, then the options
   (screen_width, screen_height, seed, dots, dot_size, anchor, view, oversample, linking,
   threads), then how depth is read (depth_kind, far_cutoff: the caller applies them with
   zavol_depth_convert). Rows may be appended in later releases; none is removed or reordered. */
enum {
  ZAVOL_FIELD_REAL = 0,    /* any number within the range */
  ZAVOL_FIELD_INTEGER = 1, /* whole numbers within the range */
  ZAVOL_FIELD_BOOLEAN = 2, /* 0 or 1 */
  ZAVOL_FIELD_COLOUR = 3,  /* 0xBBGGRR: red in the lowest byte */
  ZAVOL_FIELD_CHOICE = 4   /* one of choice_count values, each with a word */
};
enum {
  ZAVOL_FIELD_SETTINGS = 0, /* a member of zavol_settings */
  ZAVOL_FIELD_OPTIONS = 1,  /* a member of zavol_options */
  ZAVOL_FIELD_INPUT = 2     /* how depth is read, for zavol_depth_convert */
};
typedef struct zavol_field_info {
  const char *name;        /* snake_case: "near_object_depth", "dot_size" */
  const char *option;      /* the zavol tool's option without "--": "medium", "dot-size" */
  const char *label;       /* a short title for a form */
  const char *description; /* one line of help */
  int type;                /* ZAVOL_FIELD_REAL ... ZAVOL_FIELD_CHOICE */
  int place;               /* ZAVOL_FIELD_SETTINGS, _OPTIONS or _INPUT */
  double default_value, minimum, maximum;
  double step;                     /* a natural increment; 0 where there is none */
  int choice_count;                /* choices only, else 0 */
  const char *const *choice_words; /* e.g. "wall", "cross"; null for other types */
  const int *choice_values;        /* the value stored for each word, e.g. 1000..1008 */
} zavol_field_info;

ZAVOL_API int zavol_field_count(void) ZAVOL_NOEXCEPT;
/* Row index of the table; null outside 0 .. zavol_field_count() - 1. */
ZAVOL_API const zavol_field_info *zavol_field(int index) ZAVOL_NOEXCEPT;
/* The row whose name or option is word ("dot_size" or "dot-size"); -1 when there is none. */
ZAVOL_API int zavol_field_find(const char *word) ZAVOL_NOEXCEPT;
/* A settings field's value in *s or an option's in *o (the other pointer may be null); a
   choice gives its stored value (1001, not the word's index). ZAVOL_E_OPTION_VALUE for an
   index outside the table or an input field, ZAVOL_E_OPTIONS for an option *o's struct_size
   does not hold. */
ZAVOL_API int zavol_field_get(const zavol_settings *s, const zavol_options *o, int index,
                              double *value) ZAVOL_NOEXCEPT;
/* Stores value once it is finite, within the field's range, whole where the field wants it and
   one of a choice's values; otherwise nothing is stored and the status is
   ZAVOL_E_SETTING_VALUE for a settings field, ZAVOL_E_OPTION_VALUE for the rest. */
ZAVOL_API int zavol_field_set(zavol_settings *s, zavol_options *o, int index,
                              double value) ZAVOL_NOEXCEPT;

/* The library's version as "MAJOR.MINOR.PATCH", which may differ from the header's. */
ZAVOL_API const char *zavol_version(void) ZAVOL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif

/* zavol:autostereogram, a GEGL filter: a height map in (near is bright), the random-dot
   stereogram out as 16-bit RGBA. Every property is made at class init from libzavol's field
   table, so ranges, defaults, words and help are the engine's own. Depends on GEGL and
   libzavol's C interface only (and the helpers beside it). */
#include <gegl-plugin.h>
#include <math.h>
#include <string.h>

#include "gegl/checks.h"
#include "gegl/properties.h"
#include "libzavol/zavol.h"

/* Rows read from the input at a time, so that only the depth map is held whole. */
enum { kReadBand = 64 };

typedef struct {
  GeglOperationFilter parent_instance;
  zavol_settings settings;
  zavol_options options;
  /* How the input's numbers are read: the depth kind and far cutoff fields, which the engine
     leaves to the caller (zavol_depth_convert). */
  int depth_kind;
  double far_cutoff;
  const Babl *read_format;
} ZavolAutostereogram;

typedef struct {
  GeglOperationFilterClass parent_class;
} ZavolAutostereogramClass;

static GType zavol_autostereogram_type = 0;

/* One enum type per choice field, made when the module is registered; 0 for other fields. */
static GType *choice_types = NULL;

/* Property ids are the field index plus one. */
static int FieldOfProperty(guint property_id) { return (int) property_id - 1; }

/* The input is an image, so its numbers are heights unless the caller says otherwise: the
   tool's table default is for files whose kind comes from their format. */
static int DefaultDepthKind(void) { return ZAVOL_DEPTH_HEIGHT; }

/* "viewing_medium" -> "ZavolAutostereogramViewingMedium". */
static gchar *EnumTypeName(const char *field_name) {
  GString *name = g_string_new("ZavolAutostereogram");
  gboolean upper = TRUE;
  for (const char *p = field_name; *p; ++p) {
    if (*p == '_') {
      upper = TRUE;
      continue;
    }
    g_string_append_c(name, upper ? g_ascii_toupper(*p) : *p);
    upper = FALSE;
  }
  return g_string_free(name, FALSE);
}

/* One enum type per choice field. GTypeModule takes the same registration again when GEGL
   loads the module anew, and keeps the value array for the life of the type. */
static void RegisterChoiceTypes(GTypeModule *module) {
  const int count = zavol_field_count();
  choice_types = g_new0(GType, count);
  for (int i = 0; i < count; ++i) {
    const zavol_field_info *f = zavol_field(i);
    if (f->type != ZAVOL_FIELD_CHOICE) continue;
    GEnumValue *values = g_new0(GEnumValue, f->choice_count + 1);
    for (int c = 0; c < f->choice_count; ++c) {
      values[c].value = f->choice_values[c];
      values[c].value_name = f->choice_words[c];
      values[c].value_nick = f->choice_words[c];
    }
    gchar *type_name = EnumTypeName(f->name);
    choice_types[i] = g_type_module_register_enum(module, type_name, values);
    g_free(type_name);
  }
}

static GParamSpec *FieldSpec(int index) {
  const zavol_field_info *f = zavol_field(index);
  gchar *name = zavol_property_name(f->name);
  const GParamFlags flags = G_PARAM_READWRITE;
  GParamSpec *prop = NULL;
  switch (f->type) {
    case ZAVOL_FIELD_REAL: {
      /* A slider over 0..1e30 is useless: beyond a few thousand the field is typed in. */
      const double ui_max = MIN(f->maximum, MAX(f->default_value * 10.0, 1000.0));
      prop = gegl_param_spec_double(name, f->label, f->description, f->minimum, f->maximum,
                                    f->default_value, f->minimum, MAX(ui_max, f->minimum), 1.0,
                                    flags);
      if (f->step > 0) {
        GeglParamSpecDouble *d = GEGL_PARAM_SPEC_DOUBLE(prop);
        d->ui_step_small = f->step;
        d->ui_step_big = f->step * 10.0;
      }
      break;
    }
    case ZAVOL_FIELD_INTEGER:
      if (f->maximum > G_MAXINT) {
        prop = g_param_spec_uint(name, f->label, f->description, (guint) f->minimum,
                                 (guint) f->maximum, (guint) f->default_value, flags);
      } else {
        prop = gegl_param_spec_int(name, f->label, f->description, (int) f->minimum,
                                   (int) f->maximum, (int) f->default_value, (int) f->minimum,
                                   (int) f->maximum, 1.0, flags);
        if (f->step > 0) {
          GeglParamSpecInt *n = GEGL_PARAM_SPEC_INT(prop);
          n->ui_step_small = (int) f->step;
          n->ui_step_big = (int) f->step * 10;
        }
      }
      break;
    case ZAVOL_FIELD_BOOLEAN:
      prop = g_param_spec_boolean(name, f->label, f->description, f->default_value != 0, flags);
      break;
    case ZAVOL_FIELD_COLOUR: {
      const guint32 bgr = (guint32) f->default_value;
      gchar *text = g_strdup_printf("#%02x%02x%02x", bgr & 0xFF, (bgr >> 8) & 0xFF,
                                    (bgr >> 16) & 0xFF);
      prop = gegl_param_spec_color_from_string(name, f->label, f->description, text, flags);
      g_free(text);
      break;
    }
    case ZAVOL_FIELD_CHOICE: {
      const int default_value =
          strcmp(f->name, "depth_kind") == 0 ? DefaultDepthKind() : (int) f->default_value;
      prop = g_param_spec_enum(name, f->label, f->description, choice_types[index],
                               default_value, flags);
      break;
    }
  }
  g_free(name);
  return prop;
}

static gboolean IsField(int index, const char *name) {
  return strcmp(zavol_field(index)->name, name) == 0;
}

/* The field table's row behind a property, or NULL (with GObject's warning) for none. */
static const zavol_field_info *FieldOrWarn(GObject *object, guint property_id, GParamSpec *prop,
                                           int *index) {
  *index = FieldOfProperty(property_id);
  const zavol_field_info *f = zavol_field(*index);
  if (f == NULL) G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, prop);
  return f;
}

static void set_property(GObject *object, guint property_id, const GValue *value,
                         GParamSpec *prop) {
  ZavolAutostereogram *self = (ZavolAutostereogram *) object;
  int index;
  const zavol_field_info *f = FieldOrWarn(object, property_id, prop, &index);
  if (f == NULL) return;
  double number = 0;
  switch (f->type) {
    case ZAVOL_FIELD_REAL: number = g_value_get_double(value); break;
    case ZAVOL_FIELD_INTEGER:
      number = G_VALUE_HOLDS_UINT(value) ? (double) g_value_get_uint(value)
                                         : (double) g_value_get_int(value);
      break;
    case ZAVOL_FIELD_BOOLEAN: number = g_value_get_boolean(value) ? 1 : 0; break;
    case ZAVOL_FIELD_CHOICE: number = g_value_get_enum(value); break;
    case ZAVOL_FIELD_COLOUR: {
      GeglColor *color = g_value_get_object(value);
      guint8 rgb[3] = {0, 0, 0};
      if (color != NULL) gegl_color_get_pixel(color, babl_format("R'G'B' u8"), rgb);
      number = (guint32) rgb[0] | ((guint32) rgb[1] << 8) | ((guint32) rgb[2] << 16);
      break;
    }
  }
  if (f->place == ZAVOL_FIELD_INPUT) {
    if (IsField(index, "depth_kind")) self->depth_kind = (int) number;
    else if (IsField(index, "far_cutoff")) self->far_cutoff = number;
    return;
  }
  /* GObject has already refused values outside the property's range; the table's own
     check stays as the last word. */
  if (zavol_field_set(&self->settings, &self->options, index, number) != ZAVOL_OK)
    g_warning("%s: %g is not a value of %s", f->label, number, f->name);
}

static void get_property(GObject *object, guint property_id, GValue *value, GParamSpec *prop) {
  ZavolAutostereogram *self = (ZavolAutostereogram *) object;
  int index;
  const zavol_field_info *f = FieldOrWarn(object, property_id, prop, &index);
  if (f == NULL) return;
  double number = 0;
  if (f->place == ZAVOL_FIELD_INPUT) {
    number = IsField(index, "depth_kind") ? self->depth_kind : self->far_cutoff;
  } else {
    zavol_field_get(&self->settings, &self->options, index, &number);
  }
  switch (f->type) {
    case ZAVOL_FIELD_REAL: g_value_set_double(value, number); break;
    case ZAVOL_FIELD_INTEGER:
      if (G_VALUE_HOLDS_UINT(value)) g_value_set_uint(value, (guint) number);
      else g_value_set_int(value, (int) number);
      break;
    case ZAVOL_FIELD_BOOLEAN: g_value_set_boolean(value, number != 0); break;
    case ZAVOL_FIELD_CHOICE: g_value_set_enum(value, (int) number); break;
    case ZAVOL_FIELD_COLOUR: {
      const guint32 bgr = (guint32) number;
      const guint8 rgb[3] = {bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF};
      GeglColor *color = gegl_color_new(NULL);
      gegl_color_set_pixel(color, babl_format("R'G'B' u8"), rgb);
      g_value_take_object(value, color);
      break;
    }
  }
}

/* The input's numbers as they are stored: a perceptual (gamma) buffer such as an 8- or 16-bit
   PNG through Y' or R'G'B', a linear one such as OpenEXR through Y or RGB, so that no curve is
   applied to the heights on the way. A grey buffer is read as grey (one or two components, the
   cheapest conversion); a colour one by its red, as the tool's PNG reader does. Alpha 0 is
   empty. The input pad asks for the source's own format, so GEGL hands over its buffer
   without a converted copy and the one conversion happens while reading. */
static void prepare(GeglOperation *operation) {
  ZavolAutostereogram *self = (ZavolAutostereogram *) operation;
  const Babl *source = gegl_operation_get_source_format(operation, "input");
  if (source == NULL) source = babl_format("R'G'B'A float");
  const Babl *space = babl_format_get_space(source);
  const Babl *model = babl_format_get_model(source);
  const gboolean linear = (babl_get_model_flags(model) & BABL_MODEL_FLAG_LINEAR) != 0;
  const gboolean grey = babl_get_name(model)[0] == 'Y';
  const gboolean alpha = babl_format_has_alpha(source);
  const char *name = grey ? (linear ? (alpha ? "YA float" : "Y float")
                                    : (alpha ? "Y'A float" : "Y' float"))
                          : (linear ? "RGBA float" : "R'G'B'A float");
  self->read_format = babl_format_with_space(name, space);
  gegl_operation_set_format(operation, "input", source);
  gegl_operation_set_format(operation, "output", babl_format("R'G'B'A u16"));
}

/* The engine needs whole rows and the whole frame's depth range: every output pixel depends on
   the whole input, and the whole output is made in one call. */
static GeglRectangle get_required_for_output(GeglOperation *operation, const gchar *input_pad G_GNUC_UNUSED,
                                             const GeglRectangle *roi) {
  const GeglRectangle *box = gegl_operation_source_get_bounding_box(operation, "input");
  if (box != NULL) return *box;
  return *roi;
}

static GeglRectangle get_cached_region(GeglOperation *operation, const GeglRectangle *roi) {
  const GeglRectangle *box = gegl_operation_source_get_bounding_box(operation, "input");
  if (box != NULL) return *box;
  return *roi;
}

static int Progress(void *user, int row, int last_row) {
  if (row % 64 == 0)
    gegl_operation_progress((GeglOperation *) user, last_row > 0 ? (double) row / last_row : 1.0,
                            "");
  return 0;
}

/* Reads the input into a depth map of the engine's convention: the first component where
   alpha (the last, when there is one) is not 0, and empty where it is. One component is read
   straight into the map; more go through a band of rows at a time. */
static gboolean ReadDepth(ZavolAutostereogram *self, GeglBuffer *input, const GeglRectangle *box,
                          float *depth) {
  const int width = box->width;
  const int components = babl_format_get_n_components(self->read_format);
  if (components == 1) {
    gegl_buffer_get(input, box, 1.0, self->read_format, depth, GEGL_AUTO_ROWSTRIDE,
                    GEGL_ABYSS_NONE);
  } else {
    gfloat *band = g_try_malloc_n((gsize) width * kReadBand, components * sizeof(gfloat));
    if (band == NULL) return FALSE;
    /* An empty pixel becomes NaN, which every converting kind takes as empty; host depth is
       given the background marker itself. */
    const float empty = self->depth_kind == ZAVOL_DEPTH_HOST ? -1e30f : NAN;
    for (int y0 = 0; y0 < box->height; y0 += kReadBand) {
      const int rows = MIN(kReadBand, box->height - y0);
      const GeglRectangle r = {box->x, box->y + y0, width, rows};
      gegl_buffer_get(input, &r, 1.0, self->read_format, band, GEGL_AUTO_ROWSTRIDE,
                      GEGL_ABYSS_NONE);
      float *out = depth + (gsize) y0 * width;
      for (gsize i = 0; i < (gsize) rows * width; ++i) {
        const gfloat *p = band + i * components;
        out[i] = p[components - 1] == 0.0f ? empty : p[0];
      }
    }
    g_free(band);
  }
  return zavol_depth_convert(depth, (size_t) width * box->height, self->depth_kind,
                             (float) self->far_cutoff) == ZAVOL_OK;
}

static gboolean process(GeglOperation *operation, GeglBuffer *input, GeglBuffer *output,
                        const GeglRectangle *roi G_GNUC_UNUSED, gint level G_GNUC_UNUSED) {
  ZavolAutostereogram *self = (ZavolAutostereogram *) operation;
  const GeglRectangle *source = gegl_operation_source_get_bounding_box(operation, "input");
  if (source == NULL || source->width <= 0 || source->height <= 0) return TRUE;
  const GeglRectangle box = *source;
  if (box.width > ZAVOL_MAX_SIDE || box.height > ZAVOL_MAX_SIDE) {
    g_warning("autostereogram: the input is %dx%d; a side may be at most %d pixels", box.width,
              box.height, ZAVOL_MAX_SIDE);
    return FALSE;
  }
  gchar *problem = zavol_gegl_settings_problem(&self->settings);
  if (problem != NULL) {
    g_warning("autostereogram: %s: the settings cannot make a picture", problem);
    g_free(problem);
    return FALSE;
  }
  const gsize pixels = (gsize) box.width * box.height;
  float *depth = g_try_malloc_n(pixels, sizeof(float));
  guint16 *stereo = g_try_malloc_n(pixels, 4 * sizeof(guint16));
  gboolean done = FALSE;
  if (depth == NULL || stereo == NULL) {
    g_warning("autostereogram: no memory for a %dx%d frame", box.width, box.height);
  } else if (ReadDepth(self, input, &box, depth)) {
    zavol_findings findings = {.struct_size = sizeof findings};
    zavol_options options = self->options;
    options.progress = Progress;
    options.user = operation;
    options.findings = &findings;
    const zavol_depth d = {depth, box.width, box.height, 0};
    zavol_image image = {stereo, box.width, box.height, 0};
    const int status = zavol_render(&self->settings, &d, &options, &image);
    if (status == ZAVOL_OK) {
      zavol_gegl_warn_about_frame(&findings, box.width);
      gegl_buffer_set(output, &box, 0, babl_format("R'G'B'A u16"), stereo, GEGL_AUTO_ROWSTRIDE);
      done = TRUE;
    } else {
      g_warning("autostereogram: %s", zavol_status_text(status));
    }
  }
  g_free(depth);
  g_free(stereo);
  return done;
}

static void class_init(gpointer klass, gpointer class_data G_GNUC_UNUSED) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GeglOperationClass *operation_class = GEGL_OPERATION_CLASS(klass);
  GeglOperationFilterClass *filter_class = GEGL_OPERATION_FILTER_CLASS(klass);

  object_class->set_property = set_property;
  object_class->get_property = get_property;
  for (int i = 0; i < zavol_field_count(); ++i) {
    GParamSpec *prop = FieldSpec(i);
    if (prop != NULL) g_object_class_install_property(object_class, (guint) i + 1, prop);
  }

  operation_class->prepare = prepare;
  operation_class->get_required_for_output = get_required_for_output;
  operation_class->get_cached_region = get_cached_region;
  operation_class->threaded = FALSE;
  filter_class->process = process;

  gegl_operation_class_set_keys(
      operation_class, "name", "zavol:autostereogram", "title", "Autostereogram", "categories",
      "map", "description",
      "A random-dot autostereogram of a height map (bright is near): dots whose horizontal "
      "repeats carry the depth, seen in relief with the eyes diverged",
      NULL);
}

static void instance_init(GTypeInstance *instance, gpointer klass G_GNUC_UNUSED) {
  ZavolAutostereogram *self = (ZavolAutostereogram *) instance;
  zavol_settings_default(&self->settings);
  zavol_options_default(&self->options);
  self->depth_kind = DefaultDepthKind();
  const int cutoff = zavol_field_find("far_cutoff");
  self->far_cutoff = cutoff >= 0 ? zavol_field(cutoff)->default_value : 1e9;
  self->read_format = babl_format("R'G'B'A float");
}

static const GeglModuleInfo module_info = {GEGL_MODULE_ABI_VERSION};

G_MODULE_EXPORT const GeglModuleInfo *gegl_module_query(GTypeModule *module);
G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule *module);

G_MODULE_EXPORT const GeglModuleInfo *gegl_module_query(GTypeModule *module G_GNUC_UNUSED) {
  return &module_info;
}

G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule *module) {
  RegisterChoiceTypes(module);
  static const GTypeInfo info = {
      sizeof(ZavolAutostereogramClass), NULL, NULL, class_init, NULL, NULL,
      sizeof(ZavolAutostereogram),      0,    instance_init, NULL};
  zavol_autostereogram_type = gegl_module_register_type(module, GEGL_TYPE_OPERATION_FILTER,
                                                        "ZavolAutostereogram", &info, 0);
  return zavol_autostereogram_type != 0;
}

/* Properties to and from "name=value" text, checked against their declared types and ranges before they
   are set, so a script's mistake is a message rather than a quietly kept default. */
#include "gegl/properties.h"

#include "gegl/checks.h"
#include "libzavol/zavol.h"

#include <gegl.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

gchar *zavol_property_name(const char *field_name) {
  gchar *name = g_strdup(field_name);
  for (gchar *p = name; *p; ++p)
    if (*p == '_') *p = '-';
  return name;
}

static gboolean ParseColour(const char *text, guint8 rgb[3]) {
  if (*text == '#') ++text;
  if (strlen(text) != 6) return FALSE;
  for (int i = 0; i < 6; ++i)
    if (!g_ascii_isxdigit(text[i])) return FALSE;
  for (int i = 0; i < 3; ++i)
    rgb[i] = (guint8) (g_ascii_xdigit_value(text[2 * i]) * 16 + g_ascii_xdigit_value(text[2 * i + 1]));
  return TRUE;
}

/* The text as the property's type in value (initialised here); FALSE when it is not one. */
static gboolean ParseValue(GParamSpec *prop, const char *text, GValue *value) {
  const GType type = G_PARAM_SPEC_VALUE_TYPE(prop);
  g_value_init(value, type);
  char *end = NULL;
  if (type == G_TYPE_DOUBLE) {
    const double number = g_ascii_strtod(text, &end);
    if (end == text || *end != '\0' || !isfinite(number)) return FALSE;
    g_value_set_double(value, number);
  } else if (type == G_TYPE_INT || type == G_TYPE_UINT) {
    const gint64 number = g_ascii_strtoll(text, &end, 10);
    if (end == text || *end != '\0') return FALSE;
    if (type == G_TYPE_INT) {
      if (number < G_MININT || number > G_MAXINT) return FALSE;
      g_value_set_int(value, (gint) number);
    } else {
      if (number < 0 || number > G_MAXUINT) return FALSE;
      g_value_set_uint(value, (guint) number);
    }
  } else if (type == G_TYPE_BOOLEAN) {
    static const char *const yes[] = {"true", "yes", "on", "1"};
    static const char *const no[] = {"false", "no", "off", "0"};
    for (guint i = 0; i < G_N_ELEMENTS(yes); ++i) {
      if (g_ascii_strcasecmp(text, yes[i]) == 0) {
        g_value_set_boolean(value, TRUE);
        return TRUE;
      }
      if (g_ascii_strcasecmp(text, no[i]) == 0) {
        g_value_set_boolean(value, FALSE);
        return TRUE;
      }
    }
    return FALSE;
  } else if (G_TYPE_IS_ENUM(type)) {
    GEnumClass *words = g_type_class_ref(type);
    const GEnumValue *word = g_enum_get_value_by_nick(words, text);
    if (word != NULL) g_value_set_enum(value, word->value);
    g_type_class_unref(words);
    return word != NULL;
  } else if (type == GEGL_TYPE_COLOR) {
    guint8 rgb[3];
    if (!ParseColour(text, rgb)) return FALSE;
    GeglColor *color = gegl_color_new(NULL);
    gegl_color_set_pixel(color, babl_format("R'G'B' u8"), rgb);
    g_value_take_object(value, color);
  } else {
    return FALSE;
  }
  return TRUE;
}

/* What a property takes, for messages: "0 to 1", "wall, cross", "true or false". */
static gchar *Accepted(GParamSpec *prop) {
  if (G_IS_PARAM_SPEC_DOUBLE(prop))
    return g_strdup_printf("a number from %g to %g", G_PARAM_SPEC_DOUBLE(prop)->minimum,
                           G_PARAM_SPEC_DOUBLE(prop)->maximum);
  if (G_IS_PARAM_SPEC_INT(prop))
    return g_strdup_printf("a whole number from %d to %d", G_PARAM_SPEC_INT(prop)->minimum,
                           G_PARAM_SPEC_INT(prop)->maximum);
  if (G_IS_PARAM_SPEC_UINT(prop))
    return g_strdup_printf("a whole number from %u to %u", G_PARAM_SPEC_UINT(prop)->minimum,
                           G_PARAM_SPEC_UINT(prop)->maximum);
  if (G_IS_PARAM_SPEC_ENUM(prop)) {
    GString *words = g_string_new("one of");
    GEnumClass *values = G_PARAM_SPEC_ENUM(prop)->enum_class;
    for (guint i = 0; i < values->n_values; ++i)
      g_string_append_printf(words, " %s", values->values[i].value_nick);
    return g_string_free(words, FALSE);
  }
  if (G_IS_PARAM_SPEC_BOOLEAN(prop)) return g_strdup("true or false");
  return g_strdup("a colour #rrggbb");
}

gchar *zavol_properties_apply(GObject *object, const char *text) {
  gchar **pairs = g_strsplit_set(text != NULL ? text : "", " \t\n", -1);
  gchar *error = NULL;
  for (gchar **pair = pairs; *pair != NULL && error == NULL; ++pair) {
    if (**pair == '\0') continue;
    gchar *equals = strchr(*pair, '=');
    if (equals == NULL) {
      error = g_strdup_printf("\"%s\" is not name=value", *pair);
      break;
    }
    *equals = '\0';
    GParamSpec *prop = g_object_class_find_property(G_OBJECT_GET_CLASS(object), *pair);
    if (prop == NULL) {
      error = g_strdup_printf("%s: no such property", *pair);
      break;
    }
    GValue value = G_VALUE_INIT;
    /* g_param_value_validate changes a value it finds out of range: such a value is refused,
       not clamped into the range. */
    if (!ParseValue(prop, equals + 1, &value) || g_param_value_validate(prop, &value)) {
      gchar *accepted = Accepted(prop);
      error = g_strdup_printf("%s: %s is not %s", *pair, equals + 1, accepted);
      g_free(accepted);
    } else {
      g_object_set_property(object, *pair, &value);
    }
    g_value_unset(&value);
  }
  g_strfreev(pairs);
  return error;
}

gchar *zavol_properties_text(GObject *object) {
  guint count = 0;
  GParamSpec **props = g_object_class_list_properties(G_OBJECT_GET_CLASS(object), &count);
  GString *text = g_string_new(NULL);
  for (guint i = 0; i < count; ++i) {
    GParamSpec *prop = props[i];
    const GType type = G_PARAM_SPEC_VALUE_TYPE(prop);
    if ((prop->flags & G_PARAM_READWRITE) != G_PARAM_READWRITE) continue;
    if (prop->owner_type != G_OBJECT_TYPE(object)) continue; /* GEGL's own, not a field */
    GValue value = G_VALUE_INIT;
    g_value_init(&value, type);
    g_object_get_property(object, prop->name, &value);
    gchar *shown = NULL;
    if (type == G_TYPE_DOUBLE) {
      char number[G_ASCII_DTOSTR_BUF_SIZE];
      shown = g_strdup(g_ascii_formatd(number, sizeof number, "%.9g", g_value_get_double(&value)));
    } else if (type == G_TYPE_INT) {
      shown = g_strdup_printf("%d", g_value_get_int(&value));
    } else if (type == G_TYPE_UINT) {
      shown = g_strdup_printf("%u", g_value_get_uint(&value));
    } else if (type == G_TYPE_BOOLEAN) {
      shown = g_strdup(g_value_get_boolean(&value) ? "true" : "false");
    } else if (G_TYPE_IS_ENUM(type)) {
      GEnumClass *words = g_type_class_ref(type);
      const GEnumValue *word = g_enum_get_value(words, g_value_get_enum(&value));
      shown = word != NULL ? g_strdup(word->value_nick) : NULL;
      g_type_class_unref(words);
    } else if (type == GEGL_TYPE_COLOR && g_value_get_object(&value) != NULL) {
      guint8 rgb[3];
      gegl_color_get_pixel(g_value_get_object(&value), babl_format("R'G'B' u8"), rgb);
      shown = g_strdup_printf("#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
    }
    if (shown != NULL) g_string_append_printf(text, "%s%s=%s", text->len ? " " : "", prop->name, shown);
    g_free(shown);
    g_value_unset(&value);
  }
  g_free(props);
  return g_string_free(text, FALSE);
}

/* A property's value as the field table's number: colours as 0xBBGGRR, choices as their
   stored values. */
static double NumberOf(GObject *object, GParamSpec *prop) {
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_PARAM_SPEC_VALUE_TYPE(prop));
  g_object_get_property(object, prop->name, &value);
  double number = 0;
  if (G_VALUE_HOLDS_DOUBLE(&value)) {
    number = g_value_get_double(&value);
  } else if (G_VALUE_HOLDS_INT(&value)) {
    number = g_value_get_int(&value);
  } else if (G_VALUE_HOLDS_UINT(&value)) {
    number = g_value_get_uint(&value);
  } else if (G_VALUE_HOLDS_BOOLEAN(&value)) {
    number = g_value_get_boolean(&value) ? 1 : 0;
  } else if (G_VALUE_HOLDS_ENUM(&value)) {
    number = g_value_get_enum(&value);
  } else if (G_VALUE_HOLDS(&value, GEGL_TYPE_COLOR) && g_value_get_object(&value) != NULL) {
    guint8 rgb[3];
    gegl_color_get_pixel(g_value_get_object(&value), babl_format("R'G'B' u8"), rgb);
    number = (guint32) rgb[0] | ((guint32) rgb[1] << 8) | ((guint32) rgb[2] << 16);
  }
  g_value_unset(&value);
  return number;
}

gchar *zavol_properties_problem(GObject *object) {
  zavol_settings settings;
  zavol_settings_default(&settings);
  for (int i = 0; i < zavol_field_count(); ++i) {
    const zavol_field_info *f = zavol_field(i);
    if (f->place != ZAVOL_FIELD_SETTINGS) continue;
    gchar *name = zavol_property_name(f->name);
    GParamSpec *prop = g_object_class_find_property(G_OBJECT_GET_CLASS(object), name);
    const double number = prop != NULL ? NumberOf(object, prop) : f->default_value;
    g_free(name);
    if (zavol_field_set(&settings, NULL, i, number) != ZAVOL_OK)
      return g_strdup_printf("%s: %g is not a value of the field", f->name, number);
  }
  return zavol_gegl_settings_problem(&settings);
}

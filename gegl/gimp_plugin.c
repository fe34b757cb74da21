/* The GIMP 2.10 menu entry Filters > Map > Autostereogram...: applies zavol:autostereogram to
   the active layer through a GEGL graph from the drawable's buffer to its shadow buffer. The
   dialog and the script argument are both made from the operation's properties, in the order
   of libzavol's field table. Depends on libgimp, GEGL and the field table. */
#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>
#include <gegl-paramspecs.h>
#include <string.h>

#include "gegl/properties.h"
#include "libzavol/zavol.h"

#define PROCEDURE "plug-in-zavol-autostereogram"
#define OPERATION "zavol:autostereogram"

static void query(void);
static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals);

const GimpPlugInInfo PLUG_IN_INFO = {NULL, NULL, query, run};

MAIN()

static void query(void) {
  static const GimpParamDef args[] = {
      {GIMP_PDB_INT32, "run-mode", "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }"},
      {GIMP_PDB_IMAGE, "image", "Input image"},
      {GIMP_PDB_DRAWABLE, "drawable", "The height map: bright is near"},
      {GIMP_PDB_STRING, "properties",
       "The operation's properties as the gegl command takes them, e.g. "
       "\"seed=7 view=cross viewing-medium=a4\"; those not given keep their defaults"},
  };
  gimp_install_procedure(
      PROCEDURE, "Random-dot autostereogram of a height map",
      "Replaces the layer, read as a height map (bright is near, black is empty), with a "
      "random-dot stereogram of it, rendered by the zavol:autostereogram GEGL operation. A "
      "grey image is converted to RGB first. The whole layer is used, whatever the selection.",
      "the zavol authors", "the zavol authors", "2026", "_Autostereogram...", "RGB*, GRAY*",
      GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, NULL);
  gimp_plugin_menu_register(PROCEDURE, "<Image>/Filters/Map");
}

/* Each of the operation's properties in the field table's order, or NULL where the installed
   operation lacks one. */
static GParamSpec *PropertyOf(GObject *operation, int field) {
  gchar *name = zavol_property_name(zavol_field(field)->name);
  GParamSpec *prop = g_object_class_find_property(G_OBJECT_GET_CLASS(operation), name);
  g_free(name);
  return prop;
}

static void ColourChanged(GimpColorButton *button, GParamSpec *prop) {
  GimpRGB rgb;
  gimp_color_button_get_color(button, &rgb);
  GObject *operation = g_object_get_data(G_OBJECT(button), "operation");
  GeglColor *color = gegl_color_new(NULL);
  gegl_color_set_rgba(color, rgb.r, rgb.g, rgb.b, 1.0);
  g_object_set(operation, prop->name, color, NULL);
  g_object_unref(color);
}

static GtkWidget *FieldWidget(GObject *operation, GParamSpec *prop) {
  const GType type = G_PARAM_SPEC_VALUE_TYPE(prop);
  if (type == G_TYPE_BOOLEAN) return gimp_prop_check_button_new(operation, prop->name, "");
  if (G_TYPE_IS_ENUM(type)) return gimp_prop_enum_combo_box_new(operation, prop->name, 0, 0);
  if (type == G_TYPE_DOUBLE) {
    const GeglParamSpecDouble *d = GEGL_IS_PARAM_SPEC_DOUBLE(prop) ? GEGL_PARAM_SPEC_DOUBLE(prop)
                                                                     : NULL;
    const double step = d != NULL && d->ui_step_small > 0 ? d->ui_step_small : 0.01;
    return gimp_prop_spin_button_new(operation, prop->name, step, step * 10, step < 1 ? 3 : 1);
  }
  if (type == G_TYPE_INT || type == G_TYPE_UINT)
    return gimp_prop_spin_button_new(operation, prop->name, 1, 10, 0);
  if (type == GEGL_TYPE_COLOR) {
    GeglColor *color = NULL;
    g_object_get(operation, prop->name, &color, NULL);
    gdouble r = 0, g = 0, b = 0, a = 1;
    gegl_color_get_rgba(color, &r, &g, &b, &a);
    g_object_unref(color);
    GimpRGB rgb;
    gimp_rgba_set(&rgb, r, g, b, 1.0);
    GtkWidget *button = gimp_color_button_new(g_param_spec_get_nick(prop), 48, 18, &rgb,
                                              GIMP_COLOR_AREA_FLAT);
    g_object_set_data(G_OBJECT(button), "operation", operation);
    g_signal_connect(button, "color-changed", G_CALLBACK(ColourChanged), prop);
    return button;
  }
  return NULL;
}

/* Two columns: the stored settings on the left, the viewing and input fields on the right. */
static gboolean ShowDialog(GObject *operation) {
  gimp_ui_init("zavol-autostereogram", FALSE);
  GtkWidget *dialog = gimp_dialog_new("Autostereogram", "zavol-autostereogram", NULL, 0,
                                      gimp_standard_help_func, PROCEDURE, "_Cancel",
                                      GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_OK, NULL);
  gimp_window_set_transient(GTK_WINDOW(dialog));
  GtkWidget *columns = gtk_hbox_new(FALSE, 18);
  gtk_container_set_border_width(GTK_CONTAINER(columns), 12);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), columns, TRUE,
                     TRUE, 0);
  GtkWidget *tables[2] = {gtk_table_new(1, 2, FALSE), gtk_table_new(1, 2, FALSE)};
  int rows[2] = {0, 0};
  for (int c = 0; c < 2; ++c) {
    gtk_table_set_row_spacings(GTK_TABLE(tables[c]), 4);
    gtk_table_set_col_spacings(GTK_TABLE(tables[c]), 8);
    gtk_box_pack_start(GTK_BOX(columns), tables[c], FALSE, FALSE, 0);
  }
  for (int i = 0; i < zavol_field_count(); ++i) {
    GParamSpec *prop = PropertyOf(operation, i);
    GtkWidget *widget = prop != NULL ? FieldWidget(operation, prop) : NULL;
    if (widget == NULL) continue;
    const int c = zavol_field(i)->place == ZAVOL_FIELD_SETTINGS ? 0 : 1;
    GtkWidget *label = gtk_label_new(g_param_spec_get_nick(prop));
    gtk_misc_set_alignment(GTK_MISC(label), 0.0, 0.5);
    gtk_table_attach(GTK_TABLE(tables[c]), label, 0, 1, rows[c], rows[c] + 1, GTK_FILL, 0, 0, 0);
    gtk_table_attach(GTK_TABLE(tables[c]), widget, 1, 2, rows[c], rows[c] + 1, GTK_FILL, 0, 0, 0);
    gtk_widget_set_tooltip_text(label, g_param_spec_get_blurb(prop));
    gtk_widget_set_tooltip_text(widget, g_param_spec_get_blurb(prop));
    ++rows[c];
  }
  gtk_widget_show_all(dialog);
  const gboolean ok = gimp_dialog_run(GIMP_DIALOG(dialog)) == GTK_RESPONSE_OK;
  gtk_widget_destroy(dialog);
  return ok;
}

/* The stereogram's words into the layer's shadow buffer. An 8-bit perceptual layer takes each
   word's high byte, as the tool's 8-bit pictures do (rounding would move about half of the
   dots' channels one step); other layers take the words converted to their own encoding. The
   words are written in the layer's colour space as they are: dots are values, not colours to
   be matched across spaces. */
static gboolean StoreStereogram(GeglNode *operation, GeglBuffer *shadow) {
  const GeglRectangle *box = gegl_buffer_get_extent(shadow);
  const Babl *format = gegl_buffer_get_format(shadow);
  const Babl *space = babl_format_get_space(format);
  guint16 *words = g_try_malloc_n((gsize) box->width * box->height, 4 * sizeof(guint16));
  if (words == NULL) return FALSE;
  gegl_node_blit(operation, 1.0, box, babl_format("R'G'B'A u16"), words, GEGL_AUTO_ROWSTRIDE,
                 GEGL_BLIT_DEFAULT);
  const gboolean perceptual =
      (babl_get_model_flags(babl_format_get_model(format)) & BABL_MODEL_FLAG_LINEAR) == 0;
  if (babl_format_get_type(format, 0) == babl_type("u8") && perceptual) {
    guint8 *bytes = (guint8 *) words;
    for (gsize i = 0; i < (gsize) box->width * box->height * 4; ++i) bytes[i] = words[i] >> 8;
    gegl_buffer_set(shadow, box, 0, babl_format_with_space("R'G'B'A u8", space), bytes,
                    GEGL_AUTO_ROWSTRIDE);
  } else {
    gegl_buffer_set(shadow, box, 0, babl_format_with_space("R'G'B'A u16", space), words,
                    GEGL_AUTO_ROWSTRIDE);
  }
  g_free(words);
  return TRUE;
}

static void ShowProgress(GeglNode *node G_GNUC_UNUSED, gdouble progress,
                         gchar *message G_GNUC_UNUSED, gpointer data G_GNUC_UNUSED) {
  gimp_progress_update(progress);
}

/* The layer through the operation into its shadow buffer, merged back as one undo step. */
static gboolean Apply(gint32 image, gint32 drawable, GeglNode *graph, GeglNode *operation) {
  gimp_image_undo_group_start(image);
  /* The stereogram is coloured: a grey height map's image becomes RGB first. */
  if (!gimp_drawable_is_rgb(drawable) && !gimp_image_convert_rgb(image)) {
    gimp_image_undo_group_end(image);
    return FALSE;
  }
  GeglBuffer *source = gimp_drawable_get_buffer(drawable);
  GeglBuffer *shadow = gimp_drawable_get_shadow_buffer(drawable);
  GeglNode *input = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                        source, NULL);
  gegl_node_link(input, operation);
  gimp_progress_init("Autostereogram");
  g_signal_connect(operation, "progress", G_CALLBACK(ShowProgress), NULL);
  const gboolean stored = StoreStereogram(operation, shadow);
  gegl_buffer_flush(shadow);
  g_object_unref(shadow);
  g_object_unref(source);
  if (stored) {
    gimp_drawable_merge_shadow(drawable, TRUE);
    gimp_drawable_update(drawable, 0, 0, gimp_drawable_width(drawable),
                         gimp_drawable_height(drawable));
  }
  gimp_progress_end();
  gimp_image_undo_group_end(image);
  return stored;
}

static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals) {
  static GimpParam values[2];
  (void) name; /* one procedure */
  *nreturn_vals = 1;
  *return_vals = values;
  values[0].type = GIMP_PDB_STATUS;
  values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
  if (nparams < 3) return;
  const GimpRunMode mode = (GimpRunMode) param[0].data.d_int32;
  const gint32 image = param[1].data.d_image;
  const gint32 drawable = param[2].data.d_drawable;

  gegl_init(NULL, NULL);
  GimpPDBStatusType status = GIMP_PDB_SUCCESS;
  gchar *error = NULL;
  if (!gegl_has_operation(OPERATION)) {
    error = g_strdup("The GEGL operation " OPERATION " is not installed: install it beside "
                     "GEGL's operations or in ~/.local/share/gegl-0.4/plug-ins");
    status = GIMP_PDB_EXECUTION_ERROR;
  }
  GeglNode *graph = gegl_node_new();
  GeglNode *node = NULL;
  GObject *operation = NULL;
  if (error == NULL) {
    node = gegl_node_new_child(graph, "operation", OPERATION, NULL);
    operation = G_OBJECT(gegl_node_get_gegl_operation(node));
  }

  if (error == NULL) {
    /* The last values come first; the script's properties go over them. */
    gchar *last = NULL;
    const gint size = gimp_get_data_size(PROCEDURE);
    if (mode != GIMP_RUN_NONINTERACTIVE && size > 0) {
      last = g_malloc0((gsize) size + 1);
      gimp_get_data(PROCEDURE, last);
      gchar *ignored = zavol_properties_apply(operation, last);
      g_free(ignored);
    }
    g_free(last);
    if (mode != GIMP_RUN_INTERACTIVE) {
      error = nparams > 3 ? zavol_properties_apply(operation, param[3].data.d_string) : NULL;
      if (error != NULL) status = GIMP_PDB_CALLING_ERROR;
    } else if (!ShowDialog(operation)) {
      status = GIMP_PDB_CANCEL;
    }
  }
  if (status == GIMP_PDB_SUCCESS && !gimp_item_is_layer(drawable)) {
    error = g_strdup("Autostereogram works on layers, not on channels or masks");
    status = GIMP_PDB_CALLING_ERROR;
  }
  if (status == GIMP_PDB_SUCCESS && (error = zavol_properties_problem(operation)) != NULL)
    status = GIMP_PDB_CALLING_ERROR;
  if (status == GIMP_PDB_SUCCESS) {
    if (!Apply(image, drawable, graph, node)) {
      status = GIMP_PDB_EXECUTION_ERROR;
    } else {
      gchar *text = zavol_properties_text(operation);
      gimp_set_data(PROCEDURE, text, strlen(text) + 1);
      g_free(text);
      if (mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
    }
  }
  g_object_unref(graph);
  values[0].data.d_status = status;
  if (error != NULL) {
    *nreturn_vals = 2;
    values[1].type = GIMP_PDB_STRING;
    values[1].data.d_string = error; /* kept until the plug-in exits */
  }
}

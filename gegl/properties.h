/* The operation's properties as text, the way the gegl command takes them ("seed=7
   view=cross"): for the GIMP plug-in's script argument and its last values. Depends on GLib,
   GEGL and the field table. */
#ifndef ZAVOL_GEGL_PROPERTIES_H
#define ZAVOL_GEGL_PROPERTIES_H

#include <glib-object.h>

G_BEGIN_DECLS

/* A field's name as a property name: "near_object_depth" -> "near-object-depth". */
gchar *zavol_property_name(const char *field_name);

/* Sets each "name=value" of text (separated by white space) on object, checking each value
   against its property's range or words first. NULL when every one was set; otherwise a
   message naming the first that was not (and nothing after it is set). */
gchar *zavol_properties_apply(GObject *object, const char *text);

/* Every property of object as "name=value" pairs that zavol_properties_apply takes back. */
gchar *zavol_properties_text(GObject *object);

/* Why the settings fields among object's properties cannot make a picture, as the tool
   refuses them (see zavol_gegl_settings_problem); NULL when they can. */
gchar *zavol_properties_problem(GObject *object);

G_END_DECLS

#endif

// Identifiers of the stand-in controls' test dialog (standin_dialog.rc). Shared by the
// resource script and the tests; nothing else.
#pragma once

#define STANDIN_TEST_DIALOG 301
#define STANDIN_FLOAT_EDIT 1201
#define STANDIN_FLOAT_SPIN 1202
#define STANDIN_INT_EDIT 1203
#define STANDIN_INT_SPIN 1204
#define STANDIN_SWATCH 1205
#define STANDIN_SIDE_EDIT 1206
#define STANDIN_SIDE_SPIN 1207
#define STANDIN_SECOND_SWATCH 1208

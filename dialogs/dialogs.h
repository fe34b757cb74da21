// The plug-in's two dialogs: the setup dialog (template 102), which edits a settings record, and
// the about box (template 101). Windows, core.dll's controls and render/'s settings record only:
// they know nothing of the filter object that opens them.
#pragma once

#include <windows.h>

#include "render/settings.h"

// Runs the setup dialog modally, from template 102 of `module`, owned by `parent`, over
// `record`, which is written on OK and only then. `creationParameter` goes to DialogBoxParamA as
// it is (the filter object, as the host's convention has it); the dialog reads only `record`.
// Returns what DialogBoxParamA returns: 1 after OK, 0 after Cancel, -1 when it cannot be created.
INT_PTR RunSetupDialog(HINSTANCE module, HWND parent, LPARAM creationParameter,
                       StereogramSettings& record);

// Runs the about box modally, from template 101; `creationParameter` is handed on, not looked at.
// Returns 1 after OK, 0 after Esc or the close box, -1 when it cannot be created.
INT_PTR RunAboutBox(HINSTANCE module, HWND parent, LPARAM creationParameter);

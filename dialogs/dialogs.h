// The plug-in's two dialog procedures: the setup dialog (template 102) that edits a filter's
// settings record, and the about box (template 101). Windows only.
#pragma once

#include <windows.h>

// Dialog template identifiers in the plug-in's resources.
constexpr int kAboutBoxTemplate = 101;
constexpr int kSetupDialogTemplate = 102;

// lParam of WM_INITDIALOG: the StereogramFilter whose record the dialog shows and writes.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// lParam of WM_INITDIALOG: the filter object, not looked at.
INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Real input on Win32 for the window layer's tests, as the contract suite's
// driver gives it: SendInput into the controls, then the window-system
// messages handled as WaitForEvent does until they settle.
#pragma once

#include <windows.h>

namespace qk::test {

// Handles the waiting messages until none has come for `quietMilliseconds`:
// input reaches the program through the X server.
void Settle(DWORD quietMilliseconds = 150);
void Send(INPUT input);
// A click of the left or right button at a point of the inner area of `hwnd`.
void Click(HWND hwnd, POINT at, bool right = false);
// A press and release of `key`, with Shift held if asked.
void KeyPress(WORD key, bool shift = false);
// Types `text`, one key press a character.
void Type(const wchar_t* text);

} // namespace qk::test

#pragma once
// One reset for everything the program keeps process-wide, so that every test
// starts from a clean load whatever the tests before it did.
//
// The shared test main (test_main.cpp, linked into every test executable
// through orv_test_support) runs ResetProcessState() before each test, ahead
// of the fixture's constructor, and again after it. Fixtures therefore never
// reset state themselves; they only set what their test needs. A test that
// wants a second clean start inside its body (a table case) may call it
// directly; that also drops the hooks its fixture's objects installed
// (ScriptedMessageBoxes and the like), so it installs again what it needs.
//
// What it puts back: the shared state g (all zero, empty, null), the firmware
// image state, the chip dialog's pending selection, the channel-log run
// counts, the random seed (0), the clock and the locale's date and time
// formats (real, %x / %X, LC_TIME "C"), the program folder (real) and the
// message-box, box-observer, beep and file-dialog hooks (none: first button,
// cancelled).
// Not touched: the GUI queue (a test owning a component drains and closes it)
// and the Qt application object of the console tests.
// GUI thread (the test's main thread) only.

void ResetProcessState();

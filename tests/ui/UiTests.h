// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Each window test file runs its own test classes through QTest::qExec and returns the sum of
// their results.
int runMainWindowTests(int argc, char **argv);
int runDialogTests(int argc, char **argv);
int runBookmarkWindowTests(int argc, char **argv);

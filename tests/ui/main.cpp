// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QTest>

#include "UiTests.h"

// One program drives every window test class offscreen; each returns its failure count.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runMainWindowTests(argc, argv);
    failures += runDialogTests(argc, argv);
    failures += runBookmarkWindowTests(argc, argv);
    return failures == 0 ? 0 : 1;
}

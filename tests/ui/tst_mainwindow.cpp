#include "UiTests.h"

int runMainWindowTests(int, char **)
{
    return 0;
}

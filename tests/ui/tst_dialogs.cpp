#include "UiTests.h"

int runDialogTests(int, char **)
{
    return 0;
}

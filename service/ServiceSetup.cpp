// Installing and removing the service: not written yet, every command fails.
#include "service/ServiceSetup.h"

int RunSetupCommand(const char*)
{
    return 1;
}

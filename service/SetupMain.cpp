// Placeholder entry point until the service's own main arrives: the setup commands only.
#include "service/ServiceSetup.h"

int main(int argc, char** argv) { return argc > 1 ? RunSetupCommand(argv[1]) : 1; }

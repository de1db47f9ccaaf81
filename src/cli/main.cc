#include "cli/dispatch.h"

int main(int argc, char* argv[]) { return run_helper(argc, argv); }

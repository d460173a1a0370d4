#include "kernel/KVApplication.h"

// The command line and the environment are not read.
int main(int, char**) {
    return kvl::RunApplication();
}

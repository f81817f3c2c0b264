// The program lodvar.
#include "app/Startup.h"

int main(int argc, char** argv) {
    return RunLodvar(argc, argv);
}

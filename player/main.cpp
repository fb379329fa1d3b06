#include "kelvosim/fastsimulator.h"
#include "protocol.h"

int main() {
    Kelvo::buildMotionTables();
    return Kelvo::runCommandLoop();
}

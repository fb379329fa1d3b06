#include "protocol.h"

namespace Kelvo {

// The move decision arrives with the search; until then GO answers nothing.
void decideMove() {}

}  // namespace Kelvo

// The pooled search: every instance of a move works on one pool of shots
// (the candidates and, widened, a grid and shots near the leaders) by
// sequential halving, and the pool's best mean is the answer.
#pragma once

#include "search.h"

namespace Kelvo {

// Searches the root's candidates (and, with settings.widen, the widened
// shots) with settings.instances threads: rounds of equal shares of what is
// left of the budget (or of instances x the playout limit), each spread
// evenly over the survivors, the better half kept. The budget counts from
// the root's start. The first round gives every candidate its first visit
// even when its share runs out first; a search whose budget is spent before
// that round visits nothing and answers with the default, saying why.
SearchResult searchPool(const SearchRoot& root, const SearchSettings& settings);

}  // namespace Kelvo

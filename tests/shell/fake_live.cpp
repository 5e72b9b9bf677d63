#include "tests/shell/fake_live.h"

#include <vector>

#include "model/valtozok.h"
#include "speech/FAPbeolv.h"

namespace {
std::vector<fake_live::Call> seen;
}

void FAPbeolv() { seen.push_back({rotx, roty, rotz}); }

namespace fake_live {
void reset() { seen.clear(); }
int calls() { return static_cast<int>(seen.size()); }
const Call& last() { return seen.back(); }
}  // namespace fake_live

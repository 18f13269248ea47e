// The keyboard as a test sets it: which keys are down, for the hot-key
// table's and the key notices' "is this key held" question.
#pragma once

#include <vector>

namespace vt {

struct Held {
    std::vector<int> keys;
    bool operator()(int key) const {
        for (int k : keys)
            if (k == key) return true;
        return false;
    }
};

}  // namespace vt

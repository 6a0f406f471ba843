#include "palettes.h"

#include <algorithm>

namespace Palettes {

std::vector<int> pack(const std::vector<std::vector<int>> &sets, int capacity)
{
    // First fit in the given order.
    std::vector<std::vector<int>> palettes;
    std::vector<int> paletteOf(sets.size());
    for (size_t i = 0; i < sets.size(); ++i) {
        size_t p = 0;
        for (; p < palettes.size(); ++p) {
            std::vector<int> joined = palettes[p];
            for (int c : sets[i])
                if (std::find(joined.begin(), joined.end(), c) == joined.end())
                    joined.push_back(c);
            if (int(joined.size()) <= capacity) {
                palettes[p] = joined;
                break;
            }
        }
        if (p == palettes.size())
            palettes.push_back(sets[i]);
        paletteOf[i] = int(p);
    }
    return paletteOf;
}

} // namespace Palettes

#ifndef PALETTES_H
#define PALETTES_H

#include <vector>

// Packing tiles' colour sets into palettes of a fixed number of slots: the colours of every tile
// must fit in one palette, and the fewer palettes the better.
namespace Palettes {

// sets[i] holds the distinct colours of tile i (or of a group of tiles) as ids from 0 to 4095, in
// any order, no id twice, at most capacity of them. Returns the palette of every set, numbered
// from 0 in order of first use (set 0 is in palette 0); the sets of one palette share at most
// capacity colours between them. Deterministic: the same sets always give the same answer.
std::vector<int> pack(const std::vector<std::vector<int>> &sets, int capacity);

} // namespace Palettes

#endif

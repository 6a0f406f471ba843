#ifndef COLORSETS_H
#define COLORSETS_H

// Colour sets for the palette packer, built from a seed: the same sets on every machine.

#include <random>
#include <set>
#include <vector>

using Sets = std::vector<std::vector<int>>;

// count distinct ids below pool.
inline std::vector<int> distinctIds(std::mt19937 &random, int count, int pool = 4096)
{
    std::set<int> ids;
    while (int(ids.size()) < count)
        ids.insert(int(random() % pool));
    return { ids.begin(), ids.end() };
}

// Each set a random part (smallest to largest colours) of one of k random palettes of capacity
// colours, drawn from all ids, so now and then two of them share one; the first `common` ids are
// in all of them, as a black often is.
inline Sets drawnSets(unsigned seed, int sets, int k, int capacity, int smallest, int largest, int common = 0)
{
    std::mt19937 random(seed);
    Sets palettes;
    for (int p = 0; p < k; ++p) {
        std::vector<int> palette = distinctIds(random, capacity - common, 4096 - common);
        for (int &id : palette)
            id += common;
        for (int id = 0; id < common; ++id)
            palette.push_back(id);
        palettes.push_back(palette);
    }
    Sets result;
    for (int i = 0; i < sets; ++i) {
        std::vector<int> palette = palettes[random() % k];
        for (size_t j = palette.size() - 1; j > 0; --j)
            std::swap(palette[j], palette[random() % (j + 1)]);
        palette.resize(smallest + random() % (largest - smallest + 1));
        result.push_back(palette);
    }
    return result;
}

// Sets of random ids from a pool, with no palettes behind them.
inline Sets scatteredSets(unsigned seed, int sets, int pool, int smallest, int largest)
{
    std::mt19937 random(seed);
    Sets result;
    for (int i = 0; i < sets; ++i)
        result.push_back(distinctIds(random, smallest + int(random() % (largest - smallest + 1)), pool));
    return result;
}

#endif

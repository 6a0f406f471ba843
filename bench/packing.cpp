// Times the palette packing on its own: kestrine_packing prints one line per case, with the
// palettes first fit needs in the given order for comparison and the median of a few runs.
#include "colorsets.h"
#include "palettes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A big picture repeats a few tiles many times.
Sets repeated(const Sets &tiles, int sets, unsigned seed)
{
    std::mt19937 random(seed);
    Sets result;
    for (int i = 0; i < sets; ++i)
        result.push_back(tiles[random() % tiles.size()]);
    return result;
}

int firstFit(const Sets &sets, int capacity)
{
    std::vector<std::set<int>> palettes;
    for (const std::vector<int> &set : sets) {
        bool placed = false;
        for (std::set<int> &palette : palettes) {
            std::set<int> joined = palette;
            joined.insert(set.begin(), set.end());
            if (int(joined.size()) <= capacity) {
                palette = joined;
                placed = true;
                break;
            }
        }
        if (!placed)
            palettes.emplace_back(set.begin(), set.end());
    }
    return int(palettes.size());
}

// First fit is quadratic in the palettes, so it is left out where they number thousands.
void run(const std::string &name, const Sets &sets, int capacity, const std::string &k,
         bool compare = true)
{
    constexpr int runs = 5;
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    int palettes = 0;
    for (int r = 0; r < runs; ++r) {
        const Clock::time_point start = Clock::now();
        const std::vector<int> result = Palettes::pack(sets, capacity);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        palettes = result.empty() ? 0 : *std::max_element(result.begin(), result.end()) + 1;
    }
    std::sort(times.begin(), times.end());
    const std::string first = compare ? std::to_string(firstFit(sets, capacity)) : "-";
    std::printf("%-34s %7zu %4d %4s %9s %9d %9.1f\n", name.c_str(), sets.size(), capacity,
                k.c_str(), first.c_str(), palettes, times[runs / 2]);
    std::fflush(stdout);
}

} // namespace

int main()
{
    std::printf("%-34s %7s %4s %4s %9s %9s %9s\n", "case", "sets", "cap", "K", "firstfit",
                "palettes", "ms");
    for (int k : { 2, 4, 8, 16 })
        run("drawn, sizes 1-15", drawnSets(k, 1024, k, 15, 1, 15), 15, std::to_string(k));
    for (int k : { 4, 16 })
        run("drawn, sizes 1-3", drawnSets(100 + k, 1024, k, 15, 1, 3), 15, std::to_string(k));
    run("drawn, sizes 1-8", drawnSets(5, 1024, 16, 15, 1, 8), 15, "16");
    run("drawn, sizes 1-8, a black in all", drawnSets(6, 1024, 16, 15, 1, 8, 1), 15, "16");
    run("drawn, sizes 1-3, few sets", drawnSets(7, 120, 16, 15, 1, 3), 15, "16");
    run("drawn, 4 colours, sizes 1-2", drawnSets(8, 1024, 16, 4, 1, 2), 4, "16");
    run("drawn, 3 colours, sizes 1-3", drawnSets(9, 1024, 16, 3, 1, 3), 3, "16");
    run("random sets of 12-16 colours", scatteredSets(10, 200, 4096, 12, 16), 16, "-");
    run("random sets of 4-8 of 64 colours", scatteredSets(11, 300, 64, 4, 8), 16, "-");
    run("random sets of 2-4 of 256 colours", scatteredSets(12, 1024, 256, 2, 4), 16, "-");
    run("100000 of 1024 drawn tiles", repeated(drawnSets(13, 1024, 8, 15, 1, 15), 100000, 14), 15, "8");
    run("100000 random sets of 1-16", scatteredSets(15, 100000, 4096, 1, 16), 16, "-", false);
    return 0;
}

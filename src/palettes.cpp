#include "palettes.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <numeric>
#include <queue>
#include <tuple>
#include <utility>

namespace Palettes {

namespace {

using Word = std::uint64_t;
using Assignment = std::vector<int>;

// The builtin becomes a library call unless the target is known to have the instruction.
int popcount(Word x)
{
    x -= (x >> 1) & 0x5555555555555555ull;
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return int((x * 0x0101010101010101ull) >> 56);
}

// The sets left once duplicates and (work allowing) subsets are gone, colours renumbered from 0 so
// that a palette is a bitset of a few words.
struct Problem
{
    int capacity = 0;
    int colours = 0;
    std::vector<std::vector<int>> sets; // each sorted, largest first; no two alike
    int words() const { return (colours + 63) / 64; }
};

// One bitset of colours per palette.
class Rows
{
public:
    Rows(int words, int rows) : words(words), bits(size_t(words) * rows, 0) { }
    void append() { bits.resize(bits.size() + words, 0); }
    Word *row(int r) { return bits.data() + size_t(r) * words; }
    const Word *row(int r) const { return bits.data() + size_t(r) * words; }
    bool has(int r, int c) const { return (row(r)[c / 64] >> (c % 64)) & 1; }
    int missing(int r, const std::vector<int> &set) const
    {
        int n = 0;
        for (int c : set)
            n += !has(r, c);
        return n;
    }
    // Returns how many of the colours were new to the row.
    int add(int r, const std::vector<int> &set)
    {
        int n = 0;
        for (int c : set) {
            n += !has(r, c);
            row(r)[c / 64] |= Word(1) << (c % 64);
        }
        return n;
    }
    void clear(int r) { std::fill(row(r), row(r) + words, 0); }
    std::vector<int> colours(int r) const
    {
        std::vector<int> set;
        for (int w = 0; w < words; ++w)
            for (Word x = row(r)[w]; x; x &= x - 1)
                set.push_back(w * 64 + __builtin_ctzll(x));
        return set;
    }

    const int words;

private:
    std::vector<Word> bits;
};

// Work left for the optional phases, counted in colour lookups rather than time so that the same
// sets always get the same answer.
struct Budget
{
    long left;
    bool spend(long n) { return (left -= n) > 0; }
};

// splitmix64: a fixed seed gives the same numbers on every platform.
class Random
{
public:
    explicit Random(std::uint64_t seed) : state(seed) { }
    int below(int n)
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return int((z ^ (z >> 31)) % std::uint64_t(n));
    }

private:
    std::uint64_t state;
};

// Renumbers palettes in order of first use and returns how many there are.
int compact(Assignment &where)
{
    std::vector<int> number(where.empty() ? 0 : *std::max_element(where.begin(), where.end()) + 1,
                            -1);
    int count = 0;
    for (int &p : where) {
        if (number[p] < 0)
            number[p] = count++;
        p = number[p];
    }
    return count;
}

// Each set in turn goes where it adds the fewest colours, else into the fullest palette with room
// for it, else into a new one. Only palettes already holding one of its colours (the latest few
// per colour) are scored, so that huge inputs stay linear.
Assignment greedy(const Problem &pb)
{
    const int capacity = pb.capacity;
    Rows unions(pb.words(), 0);
    std::vector<int> load, seen;
    std::vector<std::vector<int>> holders(pb.colours), byLoad(capacity + 1);
    Assignment where(pb.sets.size());
    for (int s = 0; s < int(pb.sets.size()); ++s) {
        const std::vector<int> &set = pb.sets[s];
        const size_t scan = 32 / set.size() + 1;
        int best = -1, bestAdded = 0;
        for (int c : set) {
            const std::vector<int> &h = holders[c];
            for (size_t j = h.size(); j > 0 && h.size() - j < scan; --j) {
                const int p = h[j - 1];
                if (seen[p] == s)
                    continue;
                seen[p] = s;
                const int added = unions.missing(p, set);
                if (load[p] + added <= capacity
                    && (best < 0 || added < bestAdded
                        || (added == bestAdded && load[p] > load[best]))) {
                    best = p;
                    bestAdded = added;
                }
            }
        }
        // Palettes in byLoad[l] may have grown since; they are dropped when met.
        for (int l = capacity - int(set.size()); best < 0 && l >= 0; --l) {
            std::vector<int> &b = byLoad[l];
            while (!b.empty() && load[b.back()] != l)
                b.pop_back();
            if (!b.empty())
                best = b.back();
        }
        if (best < 0) {
            best = int(load.size());
            load.push_back(0);
            seen.push_back(-1);
            unions.append();
        }
        for (int c : set)
            if (!unions.has(best, c))
                holders[c].push_back(best);
        load[best] += unions.add(best, set);
        byLoad[load[best]].push_back(best);
        where[s] = best;
    }
    return where;
}

// Sets that pairwise cannot share a palette each need one of their own: a greedy group of them,
// largest sets first, is a lower bound and the start of the exact search. Colours shared with
// members are counted through the members holding each colour; of the members sharing none, the
// smallest decides.
std::vector<int> incompatibleGroup(const Problem &pb)
{
    const int capacity = pb.capacity;
    long work = 5000000;
    std::vector<int> group, shared(pb.sets.size(), 0);
    std::vector<std::vector<int>> holders(pb.colours);
    for (int s = 0; s < int(pb.sets.size()) && work > 0; ++s) {
        const int size = int(pb.sets[s].size());
        std::vector<int> touched;
        for (int c : pb.sets[s]) {
            for (int g : holders[c])
                if (shared[g]++ == 0)
                    touched.push_back(g);
            work -= long(holders[c].size()) + 1;
        }
        bool apart = true;
        for (int g : touched)
            apart = apart && size + int(pb.sets[g].size()) - shared[g] > capacity;
        for (size_t j = group.size(); j > 0 && apart; --j, --work) {
            if (shared[group[j - 1]] == 0) {
                apart = size + int(pb.sets[group[j - 1]].size()) > capacity;
                break;
            }
        }
        for (int g : touched)
            shared[g] = 0;
        if (apart) {
            group.push_back(s);
            for (int c : pb.sets[s])
                holders[c].push_back(s);
        }
    }
    return group;
}

// k palettes that may hold more colours than the capacity while overload and remove runs.
class Packing
{
public:
    Packing(const Problem &pb, int k)
        : pb(pb), unions(pb.words(), k), load(k, 0), members(k), where(pb.sets.size(), -1)
    {
    }

    void add(int s, int p)
    {
        load[p] += unions.add(p, pb.sets[s]);
        members[p].push_back(s);
        where[s] = p;
    }

    void remove(int s)
    {
        const int p = where[s];
        members[p].erase(std::find(members[p].begin(), members[p].end(), s));
        where[s] = -1;
        unions.clear(p);
        load[p] = 0;
        for (int t : members[p])
            load[p] += unions.add(p, pb.sets[t]);
    }

    const Problem &pb;
    Rows unions;
    std::vector<int> load;
    std::vector<std::vector<int>> members;
    Assignment where;
};

// Overload and remove: each waiting set goes where it adds the fewest colours, even past the
// capacity; then the sets with the most colours of their own in that palette, other than the set
// just placed, leave it and wait again. A set may not go back to the palette it just left for a
// few steps, and ties are broken at random, so that sets do not chase each other in a loop.
bool overloadAndRemove(const Problem &pb, int k, const Assignment &start,
                       const std::vector<int> &waiting, long steps, std::uint64_t seed,
                       Budget &budget, Assignment &result)
{
    const int capacity = pb.capacity, m = int(pb.sets.size());
    Packing pk(pb, k);
    for (int s = 0; s < m; ++s)
        if (start[s] >= 0)
            pk.add(s, start[s]);
    std::deque<int> queue(waiting.begin(), waiting.end());
    Random random(seed);
    std::vector<int> tabuPalette(m, -1), count(pb.colours, 0);
    std::vector<long> tabuUntil(m, 0);
    for (long step = 0; !queue.empty(); ++step) {
        const int s = queue.front();
        queue.pop_front();
        const std::vector<int> &set = pb.sets[s];
        if (step >= steps || !budget.spend(long(k) * long(set.size())))
            return false;
        // Fewest new colours, then a palette it fits in, then the fullest.
        int best = -1;
        long bestKey = 0;
        for (int p = 0; p < k; ++p) {
            if (p == tabuPalette[s] && tabuUntil[s] > step)
                continue;
            const int added = pk.unions.missing(p, set);
            const long key = ((long(added) * 2 + (pk.load[p] + added > capacity)) * 64
                              + std::max(0, capacity - pk.load[p])) * 64 + random.below(64);
            if (best < 0 || key < bestKey) {
                best = p;
                bestKey = key;
            }
        }
        if (best < 0)
            best = tabuPalette[s];
        pk.add(s, best);
        while (pk.load[best] > capacity) {
            const std::vector<int> &members = pk.members[best];
            for (int t : members)
                for (int c : pb.sets[t])
                    ++count[c];
            int out = -1;
            long outKey = 0;
            for (int t : members) {
                if (t == s)
                    continue;
                int own = 0;
                for (int c : pb.sets[t])
                    own += count[c] == 1;
                const long key = long(own) * 64 - long(pb.sets[t].size());
                if (out < 0 || key > outKey) {
                    out = t;
                    outKey = key;
                }
            }
            long work = 0;
            for (int t : members) {
                work += long(pb.sets[t].size());
                for (int c : pb.sets[t])
                    count[c] = 0;
            }
            budget.spend(2 * work);
            pk.remove(out);
            tabuPalette[out] = best;
            tabuUntil[out] = step + 5 + random.below(6);
            queue.push_back(out);
        }
    }
    result = pk.where;
    return true;
}

// Exact search over the sets in the given order: each set goes into a palette it fits in (without
// choice when one already holds all its colours) or into one new palette, so that palettes are
// never told apart by their numbers. A branch ends when the colours still to come cannot fit in
// the free slots and the palettes it may still open.
class Exact
{
public:
    Exact(const Problem &pb, std::vector<int> order, long work)
        : pb(pb), order(std::move(order)), work(work), unions(pb.words(), int(pb.sets.size())),
          load(pb.sets.size(), 0), where(pb.sets.size(), -1)
    {
        const int m = int(this->order.size());
        std::vector<int> first(pb.colours, m);
        for (int i = m - 1; i >= 0; --i)
            for (int c : pb.sets[this->order[i]])
                first[c] = i;
        uncovered.assign(m + 1, 0);
        for (int c = 0; c < pb.colours; ++c)
            ++uncovered[first[c]];
        for (int i = m - 1; i >= 0; --i)
            uncovered[i] += uncovered[i + 1];
    }

    // Replaces result with the packing in the fewest palettes below limit that the work allows,
    // if there is one, stopping early at floor.
    void below(int limit, int floor, Assignment &result)
    {
        target = limit - 1;
        this->floor = floor;
        search(0);
        if (!best.empty())
            result = best;
    }

private:
    // True when the search is over: a packing in floor palettes was found or the work ran out.
    bool search(int i)
    {
        if (i == int(order.size())) {
            best = where;
            target = used - 1;
            return used <= floor;
        }
        const int s = order[i];
        const std::vector<int> &set = pb.sets[s];
        if ((work -= long(used) * long(set.size()) + 1) < 0)
            return true;
        const int capacity = pb.capacity;
        int free = 0;
        for (int p = 0; p < used; ++p)
            free += capacity - load[p];
        const int spill = uncovered[i] - free;
        if (spill > 0 && used + (spill + capacity - 1) / capacity > target)
            return false;
        std::vector<std::pair<int, int>> choices;
        for (int p = 0; p < used; ++p) {
            const int added = unions.missing(p, set);
            if (added == 0) {
                choices.assign(1, { 0, p });
                break;
            }
            if (load[p] + added <= capacity)
                choices.push_back({ added, p });
        }
        std::sort(choices.begin(), choices.end());
        if ((choices.empty() || choices[0].first > 0) && used < target)
            choices.push_back({ int(set.size()), used });
        std::vector<Word> saved(unions.words);
        for (auto [added, p] : choices) {
            if (p >= target)
                break;
            std::copy(unions.row(p), unions.row(p) + unions.words, saved.begin());
            const bool opened = p == used;
            used += opened;
            unions.add(p, set);
            load[p] += added;
            where[s] = p;
            if (search(i + 1))
                return true;
            std::copy(saved.begin(), saved.end(), unions.row(p));
            load[p] -= added;
            used -= opened;
        }
        return false;
    }

    const Problem &pb;
    std::vector<int> order, uncovered; // colours of order[i] and later not in the sets before
    long work;
    int target = 0, floor = 0, used = 0;
    Rows unions;
    std::vector<int> load;
    Assignment where, best;
};

// Sets that share colours merge into groups while a group fits in a palette, the pair sharing the
// rarest colours first: a colour held by few sets says more about where they belong than one in
// many (a black in every palette). Small sets drawn from one palette come together that way, where
// placing them one by one mixes palettes up; the groups are then packed as sets.
Problem mergeSharing(const Problem &pb, Budget &budget, std::vector<int> &groupOf)
{
    const int m = int(pb.sets.size()), capacity = pb.capacity;
    Rows groups(pb.words(), m);
    std::vector<std::vector<int>> holders(pb.colours);
    for (int s = 0; s < m; ++s) {
        groups.add(s, pb.sets[s]);
        for (int c : pb.sets[s])
            holders[c].push_back(s);
    }
    std::vector<int> weight(pb.colours);
    for (int c = 0; c < pb.colours; ++c)
        weight[c] = (1 << 20) / int(holders[c].size());
    std::vector<int> into(m), partner(m, -1), pShared(m, 0), pUnion(m, 0), stamp(m, -1);
    std::iota(into.begin(), into.end(), 0);
    std::vector<bool> alive(m, true);
    int stamps = 0;
    using Entry = std::tuple<int, int, int, int, int>; // weight shared, -union, -a, a, b
    std::priority_queue<Entry> queue;
    auto rate = [&](int a, int b, int &shared, int &united) {
        shared = united = 0;
        for (int w = 0; w < groups.words; ++w) {
            for (Word x = groups.row(a)[w] & groups.row(b)[w]; x; x &= x - 1)
                shared += weight[w * 64 + __builtin_ctzll(x)];
            united += popcount(groups.row(a)[w] | groups.row(b)[w]);
        }
        budget.spend(groups.words);
    };
    auto pair = [&](int a, int b, int shared, int united) {
        partner[a] = b;
        pShared[a] = shared;
        pUnion[a] = united;
        queue.push({ shared, -united, -a, a, b });
    };
    auto neighbours = [&](int a) {
        std::vector<int> found;
        stamp[a] = ++stamps;
        for (int c : groups.colours(a))
            for (int h : holders[c])
                if (alive[h] && stamp[h] != stamps) {
                    stamp[h] = stamps;
                    found.push_back(h);
                }
        return found;
    };
    auto findPartner = [&](int a) {
        int best = -1, bestShared = 0, bestUnion = 0;
        for (int x : neighbours(a)) {
            int shared, united;
            rate(a, x, shared, united);
            if (united <= capacity
                && (best < 0 || shared > bestShared
                    || (shared == bestShared && united < bestUnion))) {
                best = x;
                bestShared = shared;
                bestUnion = united;
            }
        }
        partner[a] = -1;
        if (best >= 0)
            pair(a, best, bestShared, bestUnion);
    };
    for (int s = 0; s < m && budget.left > 0; ++s)
        findPartner(s);
    while (!queue.empty() && budget.left > 0) {
        const Entry top = queue.top();
        queue.pop();
        const int a = std::get<3>(top), b = std::get<4>(top);
        // Entries stay in the queue when a group's partner changes; the stale ones are skipped.
        if (!alive[a] || !alive[b] || partner[a] != b || pUnion[a] != -std::get<1>(top))
            continue;
        for (int c : groups.colours(b))
            if (!groups.has(a, c))
                holders[c].push_back(a);
        for (int w = 0; w < groups.words; ++w)
            groups.row(a)[w] |= groups.row(b)[w];
        alive[b] = false;
        into[b] = a;
        findPartner(a);
        for (int x : neighbours(a)) {
            int xShared, xUnion;
            rate(x, a, xShared, xUnion);
            const bool lost = partner[x] == a || partner[x] == b;
            if (xUnion <= capacity
                && (lost || partner[x] < 0 || xShared > pShared[x]
                    || (xShared == pShared[x] && xUnion < pUnion[x])))
                pair(x, a, xShared, xUnion);
            else if (lost)
                findPartner(x);
        }
    }
    std::vector<int> roots;
    for (int s = 0; s < m; ++s)
        if (alive[s])
            roots.push_back(s);
    std::vector<std::vector<int>> colours(m);
    for (int r : roots)
        colours[r] = groups.colours(r);
    std::stable_sort(roots.begin(), roots.end(),
                     [&](int a, int b) { return colours[a].size() > colours[b].size(); });
    Problem merged;
    merged.capacity = capacity;
    merged.colours = pb.colours;
    std::vector<int> rank(m, -1);
    for (int r : roots) {
        rank[r] = int(merged.sets.size());
        merged.sets.push_back(std::move(colours[r]));
    }
    groupOf.resize(m);
    for (int s = 0; s < m; ++s) {
        int r = s;
        while (into[r] != r)
            r = into[r];
        groupOf[s] = rank[r];
    }
    return merged;
}

// Tries to beat best with fewer palettes, down to lowerBound: first by overload and remove, each
// time emptying one palette of the best packing and placing its sets again in the others, then by
// exact search when the sets are few. Starting from a good packing keeps the sets of one source
// palette together; a start from nothing mixes them up again.
void improve(const Problem &pb, int lowerBound, Budget &budget, Assignment &best)
{
    const int m = int(pb.sets.size());
    int count = compact(best);
    const long steps = 5L * m + 500;
    std::uint64_t seed = 0;
    while (count > lowerBound && budget.left > 0) {
        Packing now(pb, count);
        for (int s = 0; s < m; ++s)
            now.add(s, best[s]);
        std::vector<int> emptiest(count);
        std::iota(emptiest.begin(), emptiest.end(), 0);
        std::stable_sort(emptiest.begin(), emptiest.end(),
                         [&](int a, int b) { return now.load[a] < now.load[b]; });
        // Every palette, emptiest first, up to three times: the random ties make each try differ.
        bool done = false;
        for (int i = 0; i < 3 * count && !done && budget.left > 0; ++i) {
            const int emptied = emptiest[i % count];
            Assignment start(best);
            for (int &p : start)
                p = p == emptied ? -1 : p == count - 1 ? emptied : p;
            Assignment result;
            if (overloadAndRemove(pb, count - 1, start, now.members[emptied], steps, ++seed, budget,
                                  result)) {
                best = result;
                count = compact(best);
                done = true;
            }
        }
        if (!done)
            break;
    }
    if (count <= lowerBound || m > 100)
        return;
    const std::vector<int> group = incompatibleGroup(pb);
    std::vector<int> order(group);
    std::vector<bool> inGroup(m, false);
    for (int g : group)
        inGroup[g] = true;
    for (int s = 0; s < m; ++s)
        if (!inGroup[s])
            order.push_back(s);
    Exact exact(pb, order, 2000000);
    exact.below(count, lowerBound, best);
}

Assignment solve(const Problem &pb)
{
    const int m = int(pb.sets.size());
    Assignment best = greedy(pb);
    const int lowerBound = std::max<int>((pb.colours + pb.capacity - 1) / pb.capacity,
                                         int(incompatibleGroup(pb).size()));
    if (compact(best) <= lowerBound)
        return best;
    // About 100 ms of work at most; the sets of one picture rarely need more than a few.
    Budget budget { 20000000 };
    std::vector<int> groupOf;
    const Problem merged = mergeSharing(pb, budget, groupOf);
    if (merged.sets.size() < pb.sets.size()) {
        // The groups get half the work, so that the sets themselves get the other half at least.
        Assignment packed = greedy(merged);
        Budget half { budget.left / 2 };
        budget.left -= half.left;
        improve(merged, lowerBound, half, packed);
        budget.left += std::max(0L, half.left);
        Assignment lifted(m);
        for (int s = 0; s < m; ++s)
            lifted[s] = packed[groupOf[s]];
        if (compact(lifted) < compact(best))
            best = lifted;
    }
    improve(pb, lowerBound, budget, best);
    return best;
}

} // namespace

std::vector<int> pack(const std::vector<std::vector<int>> &sets, int capacity)
{
    constexpr int idCount = 4096;
    const int n = int(sets.size());
    std::vector<std::vector<int>> sorted(sets);
    for (std::vector<int> &set : sorted) {
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
    }
    std::vector<int> byShape(n);
    std::iota(byShape.begin(), byShape.end(), 0);
    std::stable_sort(byShape.begin(), byShape.end(), [&](int a, int b) {
        return sorted[a].size() != sorted[b].size() ? sorted[a].size() > sorted[b].size()
                                                    : sorted[a] < sorted[b];
    });

    // A set goes where a larger set holding all its colours goes, so only the others are packed.
    // Looking for such a set among those sharing its rarest colour is cheap unless the sets are
    // many and alike, and then a budget keeps a few subsets in rather than wait.
    std::vector<int> keptOf(n, -1);
    std::vector<std::vector<int>> kept, holders(idCount);
    long checks = 5000000;
    for (int i = 0; i < n; ++i) {
        const int s = byShape[i];
        const std::vector<int> &set = sorted[s];
        if (set.empty())
            continue;
        if (i > 0 && set == sorted[byShape[i - 1]]) {
            keptOf[s] = keptOf[byShape[i - 1]];
            continue;
        }
        const std::vector<int> *rarest = &holders[set[0]];
        for (int c : set)
            if (holders[c].size() < rarest->size())
                rarest = &holders[c];
        // Holders come largest first, and a set the same size as this one cannot hold it.
        for (size_t j = 0; j < rarest->size() && keptOf[s] < 0 && checks > 0; ++j, --checks) {
            const std::vector<int> &other = kept[(*rarest)[j]];
            if (other.size() == set.size())
                break;
            if (std::includes(other.begin(), other.end(), set.begin(), set.end()))
                keptOf[s] = (*rarest)[j];
        }
        if (keptOf[s] < 0) {
            keptOf[s] = int(kept.size());
            for (int c : set)
                holders[c].push_back(int(kept.size()));
            kept.push_back(set);
        }
    }

    // Sets beyond the capacity (never valid input) get palettes of their own.
    Problem pb;
    pb.capacity = capacity;
    std::vector<int> colourOf(idCount, -1), problemOf(kept.size(), -1);
    for (size_t k = 0; k < kept.size(); ++k) {
        if (int(kept[k].size()) > capacity)
            continue;
        std::vector<int> set;
        for (int id : kept[k]) {
            if (colourOf[id] < 0)
                colourOf[id] = pb.colours++;
            set.push_back(colourOf[id]);
        }
        std::sort(set.begin(), set.end());
        problemOf[k] = int(pb.sets.size());
        pb.sets.push_back(std::move(set));
    }
    Assignment packed = pb.sets.empty() ? Assignment() : solve(pb);
    int next = compact(packed);
    std::vector<int> paletteOf(kept.size());
    for (size_t k = 0; k < kept.size(); ++k)
        paletteOf[k] = problemOf[k] >= 0 ? packed[problemOf[k]] : next++;

    // Empty sets fit anywhere; they join the first set kept.
    std::vector<int> result(n);
    for (int i = 0; i < n; ++i)
        result[i] = keptOf[i] >= 0 ? paletteOf[keptOf[i]] : kept.empty() ? 0 : paletteOf[0];
    compact(result);
    return result;
}

} // namespace Palettes

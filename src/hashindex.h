#ifndef HASHINDEX_H
#define HASHINDEX_H

#include <QtGlobal>

#include <algorithm>
#include <vector>

// Ids kept under 32-bit hashes in an open-addressing table, half full at most. The caller keeps
// the items themselves and tells a match from two items that share a hash.
class HashIndex
{
public:
    // Room for more ids besides those held, so that no bucket moves while they go in.
    void reserve(size_t more)
    {
        if (2 * (count + more) <= buckets.size())
            return;
        size_t size = std::max<size_t>(buckets.size(), 1024);
        while (2 * (count + more) > size)
            size *= 2;
        std::vector<quint64> old(size, 0);
        old.swap(buckets);
        for (quint64 bucket : old) {
            if (bucket != 0)
                place(bucket);
        }
    }

    void insert(quint32 hash, int id)
    {
        reserve(1);
        place(quint64(hash) << 32 | quint32(id + 1));
        ++count;
    }

    // The first id under hash for which matches(id) is true, or -1.
    template <typename Matches>
    int find(quint32 hash, Matches matches) const
    {
        if (buckets.empty())
            return -1;
        const size_t mask = buckets.size() - 1;
        for (size_t i = hash & mask; buckets[i] != 0; i = (i + 1) & mask) {
            if (quint32(buckets[i] >> 32) == hash && matches(int(quint32(buckets[i]) - 1)))
                return int(quint32(buckets[i]) - 1);
        }
        return -1;
    }

    // Asks for the bucket of a hash ahead of a find: in a large table they lie far apart.
    void prefetch(quint32 hash) const
    {
        if (!buckets.empty())
            __builtin_prefetch(&buckets[hash & (buckets.size() - 1)]);
    }

private:
    void place(quint64 bucket)
    {
        const size_t mask = buckets.size() - 1;
        size_t i = size_t(bucket >> 32) & mask;
        while (buckets[i] != 0)
            i = (i + 1) & mask;
        buckets[i] = bucket;
    }

    size_t count = 0;
    std::vector<quint64> buckets; // the hash in the top half, id + 1 below; 0 for a free bucket
};

#endif

#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace tavolix::thumbs {

// A cache of values by key within a byte budget: the least recently used go
// first. Each value's bytes are given when it is put.
template <class V> class TByteLru {
public:
    explicit TByteLru(std::size_t budget) : FBudget(budget) {}

    // The value, now the most recently used; nullptr when absent.
    V* Find(const std::string& key) {
        auto it = FIndex.find(key);
        if (it == FIndex.end())
            return nullptr;
        FOrder.splice(FOrder.begin(), FOrder, it->second);
        return &it->second->Value;
    }
    bool Contains(const std::string& key) const { return FIndex.contains(key); }

    // Puts or replaces a value and drops the least recently used others until
    // the budget holds. A value bigger than the whole budget is not kept.
    void Put(const std::string& key, V value, std::size_t bytes) {
        Erase(key);
        if (bytes > FBudget)
            return;
        FOrder.push_front({key, std::move(value), bytes});
        FIndex[key] = FOrder.begin();
        FBytes += bytes;
        Trim();
    }

    void Erase(const std::string& key) {
        auto it = FIndex.find(key);
        if (it == FIndex.end())
            return;
        FBytes -= it->second->Bytes;
        FOrder.erase(it->second);
        FIndex.erase(it);
    }

    void Clear() {
        FOrder.clear();
        FIndex.clear();
        FBytes = 0;
    }

    void SetBudget(std::size_t budget) {
        FBudget = budget;
        Trim();
    }
    std::size_t Budget() const { return FBudget; }
    std::size_t Bytes() const { return FBytes; }
    std::size_t Count() const { return FIndex.size(); }

    // Every value, most recently used first.
    template <class F> void ForEach(F&& f) const {
        for (const TEntry& e : FOrder)
            f(e.Key, e.Value);
    }

private:
    struct TEntry {
        std::string Key;
        V Value;
        std::size_t Bytes;
    };

    void Trim() {
        while (FBytes > FBudget && !FOrder.empty()) {
            FBytes -= FOrder.back().Bytes;
            FIndex.erase(FOrder.back().Key);
            FOrder.pop_back();
        }
    }

    std::size_t FBudget;
    std::size_t FBytes = 0;
    std::list<TEntry> FOrder;
    std::unordered_map<std::string, typename std::list<TEntry>::iterator> FIndex;
};

} // namespace tavolix::thumbs

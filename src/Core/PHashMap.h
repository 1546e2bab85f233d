#pragma once
// The engine's hash map: a fixed number of buckets (193 unless told otherwise), the hash
// h = 5·h + byte over the key, new entries at the front of their bucket, iteration bucket by bucket.
// Several observable orders (the lines of "config.cfg", the order scripts are shut down in) follow
// from exactly this layout, so engine tables use it rather than a standard container.
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline uint32_t EngineHash(std::string_view key) {
    uint32_t h = 0;
    for (unsigned char c : key) h = 5 * h + c;
    return h;
}

template <typename V>
class CPHashMap {
public:
    using Entry = std::pair<std::string, V>;
    static constexpr uint32_t kDefaultBuckets = 193;

    explicit CPHashMap(uint32_t buckets = kDefaultBuckets) : buckets_(buckets ? buckets : 1) {}

    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    uint32_t BucketCount() const { return static_cast<uint32_t>(buckets_.size()); }
    uint32_t BucketOf(std::string_view key) const { return EngineHash(key) % BucketCount(); }

    V* Find(std::string_view key) {
        for (auto& e : buckets_[BucketOf(key)])
            if (e.first == key) return &e.second;
        return nullptr;
    }
    const V* Find(std::string_view key) const { return const_cast<CPHashMap*>(this)->Find(key); }

    // The entry of the key, added (at the front of its bucket) with a default value when missing.
    V& operator[](std::string_view key) {
        if (V* v = Find(key)) return *v;
        auto& bucket = buckets_[BucketOf(key)];
        bucket.emplace_front(std::string(key), V{});
        ++size_;
        return bucket.front().second;
    }

    // Sets the value of the key; an existing entry keeps its place.
    void Set(std::string_view key, V value) { (*this)[key] = std::move(value); }

    bool Erase(std::string_view key) {
        auto& bucket = buckets_[BucketOf(key)];
        for (auto it = bucket.begin(); it != bucket.end(); ++it) {
            if (it->first == key) {
                bucket.erase(it);
                --size_;
                return true;
            }
        }
        return false;
    }

    void Clear() {
        for (auto& b : buckets_) b.clear();
        size_ = 0;
    }

    // Iteration in the engine's order: buckets ascending, each chain from its front.
    template <typename MapT, typename EntryT>
    class Iter {
    public:
        Iter(MapT* map, uint32_t bucket) : map_(map), bucket_(bucket) { SkipEmpty(); }
        EntryT& operator*() const { return *it_; }
        EntryT* operator->() const { return &*it_; }
        Iter& operator++() {
            ++it_;
            if (it_ == map_->buckets_[bucket_].end()) {
                ++bucket_;
                SkipEmpty();
            }
            return *this;
        }
        bool operator==(const Iter& o) const { return bucket_ == o.bucket_ && (AtEnd() || it_ == o.it_); }
        bool operator!=(const Iter& o) const { return !(*this == o); }

    private:
        bool AtEnd() const { return bucket_ >= map_->buckets_.size(); }
        void SkipEmpty() {
            while (!AtEnd() && map_->buckets_[bucket_].empty()) ++bucket_;
            if (!AtEnd()) it_ = map_->buckets_[bucket_].begin();
        }
        MapT* map_;
        uint32_t bucket_;
        decltype(std::declval<MapT&>().buckets_[0].begin()) it_{};
    };
    using iterator = Iter<CPHashMap, Entry>;
    using const_iterator = Iter<const CPHashMap, const Entry>;

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, BucketCount()); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, BucketCount()); }

private:
    std::vector<std::list<Entry>> buckets_;
    size_t size_ = 0;
};

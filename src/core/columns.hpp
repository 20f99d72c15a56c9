// Filling vectors of doubles from values read elsewhere (a column of a file's table, a strided
// array) with one write per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace orvanalysis {

// Asks the kernel to back a large, not yet touched block with huge pages: filling millions of
// doubles otherwise costs one page fault per 4 KiB, which dominates the copy itself.
inline void advise_huge_pages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t skip = (huge_page - address % huge_page) % huge_page;
    if (bytes > skip) {
        const std::size_t length = (bytes - skip) / huge_page * huge_page;
        if (length != 0) {
            // Advice only: a kernel without transparent huge pages refuses it and nothing changes.
            (void)madvise(static_cast<char*>(data) + skip, length, MADV_HUGEPAGE);
        }
    }
#else
    (void)data;
    (void)bytes;
#endif
}

// An iterator over value(i), i = 0, 1, ..., computed when read.
template <class Value>
class Computed {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = const double*;
    using reference = double;

    Computed(const Value* value, std::size_t i) : value_(value), i_(i) {}
    double operator*() const { return (*value_)(i_); }
    double operator[](difference_type n) const { return (*value_)(i_ + static_cast<std::size_t>(n)); }
    Computed& operator++() {
        ++i_;
        return *this;
    }
    Computed operator++(int) { return {value_, i_++}; }
    Computed& operator--() {
        --i_;
        return *this;
    }
    Computed operator--(int) { return {value_, i_--}; }
    Computed& operator+=(difference_type n) {
        i_ += static_cast<std::size_t>(n);
        return *this;
    }
    Computed& operator-=(difference_type n) {
        i_ -= static_cast<std::size_t>(n);
        return *this;
    }
    Computed operator+(difference_type n) const { return {value_, i_ + static_cast<std::size_t>(n)}; }
    Computed operator-(difference_type n) const { return {value_, i_ - static_cast<std::size_t>(n)}; }
    difference_type operator-(const Computed& other) const {
        return static_cast<difference_type>(i_) - static_cast<difference_type>(other.i_);
    }
    bool operator==(const Computed& other) const { return i_ == other.i_; }
    bool operator!=(const Computed& other) const { return i_ != other.i_; }
    bool operator<(const Computed& other) const { return i_ < other.i_; }
    bool operator>(const Computed& other) const { return i_ > other.i_; }
    bool operator<=(const Computed& other) const { return i_ <= other.i_; }
    bool operator>=(const Computed& other) const { return i_ >= other.i_; }

private:
    const Value* value_;
    std::size_t i_;
};

// Whether value.contiguous() names the doubles value(i) reads, when it can.
template <class Value, class = void>
struct has_contiguous : std::false_type {};
template <class Value>
struct has_contiguous<Value, std::void_t<decltype(std::declval<const Value&>().contiguous())>> : std::true_type {};

// Appends value(i) for i from begin to end to out. A vector grows without value-initialising
// its new elements only by inserting a range, so the values are inserted through an iterator
// that computes them: each element is written once. Values that lie side by side in memory
// (value.contiguous() not null) are copied as a block.
template <class Value>
void append_values(std::vector<double>& out, std::size_t begin, std::size_t end, const Value& value) {
    if constexpr (has_contiguous<Value>::value) {
        if (const double* first = value.contiguous()) {
            out.insert(out.end(), first + begin, first + end);
            return;
        }
    }
    out.insert(out.end(), Computed<Value>(&value, begin), Computed<Value>(&value, end));
}

// Whether k[i - 1] + e < k[i] for every i from begin to end (begin >= 1): the sums rounded as a
// scan's key ordering rounds them, a NaN on either side counting as out of order. Four keys at a
// time in two independent masks: the compiler does not vectorise the comparison by itself, and
// one mask would make each step wait for the last.
inline bool all_ordered(const double* k, std::size_t begin, std::size_t end, double e) {
    using Pair = double __attribute__((vector_size(16)));
    using Mask = long long __attribute__((vector_size(16)));
    Mask low{-1, -1};
    Mask high{-1, -1};
    std::size_t i = begin;
    for (; i + 4 <= end; i += 4) {
        Pair before_low;
        Pair at_low;
        Pair before_high;
        Pair at_high;
        std::memcpy(&before_low, k + i - 1, sizeof before_low);
        std::memcpy(&at_low, k + i, sizeof at_low);
        std::memcpy(&before_high, k + i + 1, sizeof before_high);
        std::memcpy(&at_high, k + i + 2, sizeof at_high);
        low &= before_low + e < at_low;  // true is -1 in each lane
        high &= before_high + e < at_high;
    }
    const Mask both = low & high;
    bool ordered = both[0] == -1 && both[1] == -1;
    for (; i < end; ++i) {
        ordered = ordered && k[i - 1] + e < k[i];
    }
    return ordered;
}

}  // namespace orvanalysis

#pragma once

// A growing array kept in fixed pages: once the first page is full,
// appending never moves what is there, so a table of millions of records
// grows without a moment where the old and the new copy are both held (a
// std::vector doubles, copies, and only then frees the old one). Indexing
// costs a shift and a mask. The first page starts small and grows to a full
// page as a vector would: most sheets are small, and a full page for each of
// their tables would be allocated, cleared and given back for every one.

#include "prefault.h"

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

namespace Excel {
namespace Xlsx {

template <typename T, unsigned PageBits = 14>
class PagedVector
{
public:
    static constexpr size_t PageSize = size_t(1) << PageBits;

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T &operator[](size_t i) { return m_pages[i >> PageBits][i & (PageSize - 1)]; }
    const T &operator[](size_t i) const { return m_pages[i >> PageBits][i & (PageSize - 1)]; }

    void push_back(const T &value)
    {
        if (m_size == capacity())
            grow();
        (*this)[m_size++] = value;
    }
    void pop_back() { resize(m_size - 1); }
    // Shrinks, keeping the pages still needed; or grows with default values.
    void resize(size_t n)
    {
        while (m_size < n)
            push_back(T());
        m_size = n;
        m_pages.resize((n + PageSize - 1) >> PageBits);
        if (m_pages.empty())
            m_firstPageSize = 0;
    }
    void clear()
    {
        m_pages.clear();
        m_size = 0;
        m_firstPageSize = 0;
    }

    template <typename V, typename Owner>
    class Iterator
    {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = V *;
        using reference = V &;

        Iterator() = default;
        Iterator(Owner *owner, size_t i) : m_owner(owner), m_i(i) {}
        reference operator*() const { return (*m_owner)[m_i]; }
        pointer operator->() const { return &(*m_owner)[m_i]; }
        reference operator[](difference_type n) const { return (*m_owner)[size_t(difference_type(m_i) + n)]; }
        Iterator &operator++() { ++m_i; return *this; }
        Iterator operator++(int) { Iterator t = *this; ++m_i; return t; }
        Iterator &operator--() { --m_i; return *this; }
        Iterator operator--(int) { Iterator t = *this; --m_i; return t; }
        Iterator &operator+=(difference_type n) { m_i = size_t(difference_type(m_i) + n); return *this; }
        Iterator &operator-=(difference_type n) { m_i = size_t(difference_type(m_i) - n); return *this; }
        Iterator operator+(difference_type n) const { Iterator t = *this; return t += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        Iterator operator-(difference_type n) const { Iterator t = *this; return t -= n; }
        difference_type operator-(const Iterator &o) const { return difference_type(m_i) - difference_type(o.m_i); }
        bool operator==(const Iterator &o) const { return m_i == o.m_i; }
        bool operator!=(const Iterator &o) const { return m_i != o.m_i; }
        bool operator<(const Iterator &o) const { return m_i < o.m_i; }
        bool operator>(const Iterator &o) const { return m_i > o.m_i; }
        bool operator<=(const Iterator &o) const { return m_i <= o.m_i; }
        bool operator>=(const Iterator &o) const { return m_i >= o.m_i; }

    private:
        Owner *m_owner = nullptr;
        size_t m_i = 0;
    };
    using iterator = Iterator<T, PagedVector>;
    using const_iterator = Iterator<const T, const PagedVector>;

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, m_size); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_size); }

private:
    static constexpr size_t FirstPageStart = PageSize < 64 ? PageSize : 64;

    size_t capacity() const
    {
        return m_pages.empty() ? 0 : m_firstPageSize + (m_pages.size() - 1) * PageSize;
    }
    void grow()
    {
        if (m_pages.size() == 1 && m_firstPageSize < PageSize) {
            const size_t n = m_firstPageSize * 4 < PageSize ? m_firstPageSize * 4 : PageSize;
            std::unique_ptr<T[]> page(new T[n]);
            T *from = m_pages.front().get();
            for (size_t i = 0; i < m_size; ++i)
                page[i] = std::move(from[i]);
            m_pages.front() = std::move(page);
            m_firstPageSize = n;
        } else if (m_pages.empty()) {
            m_pages.emplace_back(new T[FirstPageStart]);
            m_firstPageSize = FirstPageStart;
        } else {
            m_pages.emplace_back(new T[PageSize]);
            // A table that fills one page goes on to fill more: the pages
            // of the next ones are taken at once.
            prefault(m_pages.back().get(), sizeof(T) * PageSize);
        }
    }

    std::vector<std::unique_ptr<T[]>> m_pages;
    size_t m_size = 0;
    size_t m_firstPageSize = 0;
};

} // namespace Xlsx
} // namespace Excel

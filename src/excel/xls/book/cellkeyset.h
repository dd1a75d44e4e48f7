#pragma once

// A set of cell keys (row << 8 | column) held as one sorted array, four
// bytes a cell. Edits come row by row, so a key mostly goes at the end;
// keys that come out of order, or again, are gathered at the end and
// merged in once they are as many as the sorted part.

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace Excel {
namespace Biff {

class CellKeySet
{
public:
    void insert(quint32 key)
    {
        if (m_keys.size() == m_sorted && (m_keys.empty() || m_keys.back() < key)) {
            m_keys.push_back(key);
            ++m_sorted;
            return;
        }
        m_keys.push_back(key);
        if (m_keys.size() - m_sorted >= std::max<size_t>(m_sorted, 64))
            merge();
    }

    int size() const
    {
        merge();
        return int(m_keys.size());
    }

    // Every key once, in ascending order.
    const std::vector<quint32> &keys() const
    {
        merge();
        return m_keys;
    }

    void clear()
    {
        std::vector<quint32>().swap(m_keys);
        m_sorted = 0;
    }

private:
    void merge() const
    {
        if (m_sorted == m_keys.size())
            return;
        const auto middle = m_keys.begin() + std::ptrdiff_t(m_sorted);
        std::sort(middle, m_keys.end());
        std::inplace_merge(m_keys.begin(), middle, m_keys.end());
        m_keys.erase(std::unique(m_keys.begin(), m_keys.end()), m_keys.end());
        m_sorted = m_keys.size();
    }

    mutable std::vector<quint32> m_keys; // [0, m_sorted) sorted and unique
    mutable size_t m_sorted = 0;
};

} // namespace Biff
} // namespace Excel

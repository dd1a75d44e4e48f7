#pragma once

// The bytes of a sheet's edited records, in blocks that never move: bytes
// handed out stay where they are while more are added, so a view of one
// edited cell outlives edits of others. An edited cell costs its bytes
// and no allocation of its own.

#include <QtGlobal>

#include <cstring>
#include <memory>
#include <vector>

namespace Excel {
namespace Biff {

class RecordArena
{
public:
    char *allocate(size_t n)
    {
        if (n > BlockSize / 4) {
            m_large.push_back(std::make_unique<char[]>(n));
            return m_large.back().get();
        }
        if (m_blocks.empty() || m_used + n > BlockSize) {
            m_blocks.push_back(std::make_unique<char[]>(BlockSize));
            m_used = 0;
        }
        char *p = m_blocks.back().get() + m_used;
        m_used += n;
        return p;
    }

    char *copy(const char *data, size_t n, const char *more = nullptr, size_t moreSize = 0)
    {
        char *p = allocate(n + moreSize);
        if (n)
            std::memcpy(p, data, n);
        if (moreSize)
            std::memcpy(p + n, more, moreSize);
        return p;
    }

    void clear()
    {
        std::vector<std::unique_ptr<char[]>>().swap(m_blocks);
        std::vector<std::unique_ptr<char[]>>().swap(m_large);
        m_used = 0;
    }

private:
    static constexpr size_t BlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<std::unique_ptr<char[]>> m_large;
    size_t m_used = 0; // in the last block
};

} // namespace Biff
} // namespace Excel

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tavolin {

// Buffers of a large file are touched once from end to end, and on a virtual
// machine faulting them in one 4 KiB page at a time costs more than filling
// them, so large ones ask for huge pages before their first touch. Only
// advice: where the system ignores it, nothing changes.
inline void AdviseHugePages([[maybe_unused]] const void* untouched, [[maybe_unused]] std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (bytes < 2 * kHugePage)
        return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(untouched);
    const std::uintptr_t from = (begin + page - 1) / page * page;
    const std::uintptr_t end = begin + bytes;
    if (end > from)
        ::madvise(const_cast<char*>(static_cast<const char*>(untouched)) + (from - begin), end - from, MADV_HUGEPAGE);
#endif
}

// Reserves room for `count` more elements of `v`, with the advice above
// where the room is newly allocated.
template <typename T>
void ReserveLarge(std::vector<T>& v, std::size_t count)
{
    if (v.capacity() - v.size() >= count)
        return;
    v.reserve(v.size() + count);
    AdviseHugePages(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(T));
}

// Most texts and gap records are a few bytes: two overlapping fixed-size
// copies cost less than a call.
inline void CopyBytes(void* into, const void* bytes, std::size_t n)
{
    auto* to = static_cast<char*>(into);
    const auto* from = static_cast<const char*>(bytes);
    if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0 && n < 4) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else if (n > 16) {
        std::memcpy(to, from, n);
    }
}

// Bytes appended back to back, without the zero-filling and the per-call
// range checks of a std::vector<char>: a scan appends millions of short texts.
class TextBuffer {
public:
    [[nodiscard]] const char* data() const { return m_data.get(); }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] std::size_t Room() const { return m_capacity - m_size; }

    // The room after the bytes held, and taking `n` bytes written there.
    [[nodiscard]] char* Tail() { return m_data.get() + m_size; }
    void Commit(std::size_t n) { m_size += n; }
    // Only where Room() >= text.size().
    void AppendUnchecked(std::string_view text)
    {
        CopyBytes(m_data.get() + m_size, text.data(), text.size());
        m_size += text.size();
    }
    void Append(std::string_view text)
    {
        if (text.size() > Room())
            Reallocate(std::max({2 * m_capacity, m_size + text.size(), std::size_t{64}}));
        AppendUnchecked(text);
    }
    void Reserve(std::size_t more)
    {
        if (more > Room())
            Reallocate(m_size + more);
    }
    void Clear()
    {
        m_data.reset();
        m_size = m_capacity = 0;
    }

private:
    void Reallocate(std::size_t capacity)
    {
        auto fresh = std::make_unique_for_overwrite<char[]>(capacity);
        AdviseHugePages(fresh.get(), capacity);
        if (m_size > 0)
            std::memcpy(fresh.get(), m_data.get(), m_size);
        m_data = std::move(fresh);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace tavolin

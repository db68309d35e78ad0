#pragma once

// The byte scans of the well-formedness check: finding where a long stretch (text between tags,
// an attribute value, a comment, a processing instruction, a CDATA section, a name) needs a
// closer look. Three paths give the same answer: a byte at a time through a table, a machine
// word at a time, and SSE2 vectors (always there on x86-64). The check uses the fastest one the
// processor has; the others stay for other processors and for the tests that compare them.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace XmlScan {

constexpr bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

constexpr bool isAsciiNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

constexpr bool isAsciiName(unsigned char c)
{
    return isAsciiNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

constexpr bool isControl(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Per byte: 1 where a scan of the construct has to look closer. Bytes from 0x80 on start a
// character of several bytes, which is decoded and checked; controls are refused; the zero
// byte after the text is a control, so every scan stops at the end.
using StopTable = std::array<uint8_t, 256>;

struct StopSet
{
    StopTable table{};
    std::array<char, 4> bytes{}; // the markup bytes marked besides controls and bytes from 0x80
    int count = 0;
    bool name = false; // stops at every byte that is no ASCII name character (':' included)
};

constexpr StopSet stopSet(std::string_view stops)
{
    StopSet set;
    for (unsigned c = 0; c < 256; ++c)
        set.table[c] = c >= 0x80 || isControl(static_cast<unsigned char>(c));
    for (char c : stops) {
        set.table[static_cast<unsigned char>(c)] = 1;
        set.bytes[size_t(set.count++)] = c;
    }
    return set;
}

constexpr StopSet nameStopSet()
{
    StopSet set;
    for (unsigned c = 0; c < 256; ++c)
        set.table[c] = !isAsciiName(static_cast<unsigned char>(c));
    set.name = true;
    return set;
}

inline constexpr StopSet textStops = stopSet("<&]");
inline constexpr StopSet attributeStops = stopSet("<&\"'");
inline constexpr StopSet commentStops = stopSet("-");
inline constexpr StopSet piStops = stopSet("?");
inline constexpr StopSet cdataStops = stopSet("]");
inline constexpr StopSet nameStops = nameStopSet();

enum class Path
{
    Bytes,
    Words,
    Vectors
};

#if defined(__SSE2__)
inline constexpr Path fastestPath = Path::Vectors;
#else
inline constexpr Path fastestPath = Path::Words;
#endif

// A byte at a time, four to a round, until a byte that the table marks.
inline const char *scanBytes(const char *p, const StopTable &stops)
{
    for (;; p += 4) {
        if (stops[static_cast<unsigned char>(p[0])])
            return p;
        if (stops[static_cast<unsigned char>(p[1])])
            return p + 1;
        if (stops[static_cast<unsigned char>(p[2])])
            return p + 2;
        if (stops[static_cast<unsigned char>(p[3])])
            return p + 3;
    }
}

// Whether one of the eight bytes of `word` might stop the scan; a yes is settled by the table.
template<const StopSet &set> constexpr bool mayStop(uint64_t word)
{
    constexpr uint64_t ones = 0x0101010101010101u;
    constexpr uint64_t highs = 0x8080808080808080u;
    const auto zeroByte = [](uint64_t x) { return (x - ones) & ~x & highs; };
    uint64_t hit = (word | ((word - 0x20 * ones) & ~word)) & highs; // from 0x80, or below 0x20
    for (int i = 0; i < set.count; ++i)
        hit |= zeroByte(word ^ (uint64_t(static_cast<unsigned char>(set.bytes[size_t(i)])) * ones));
    return hit;
}

#if defined(__SSE2__)
// A bit for each of the 16 bytes at `p` that stops the scan.
template<const StopSet &set> inline unsigned stopBits(const char *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if constexpr (set.name) {
        // Letters: with bit 5 set, 'a' to 'z'; digits, '-' and '.': 0x2D to 0x39 without '/';
        // a range test is one signed comparison after moving the range to the bottom.
        const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
        const __m128i letter = _mm_cmplt_epi8(_mm_add_epi8(folded, _mm_set1_epi8(char(0x80 - 'a'))),
                                              _mm_set1_epi8(char(0x80 + 26)));
        const __m128i digitEtc = _mm_andnot_si128(
            _mm_cmpeq_epi8(v, _mm_set1_epi8('/')),
            _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(char(0x80 - '-'))), _mm_set1_epi8(char(0x80 + 13))));
        const __m128i name =
            _mm_or_si128(_mm_or_si128(letter, digitEtc), _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
        return ~unsigned(_mm_movemask_epi8(name)) & 0xFFFFu;
    } else {
        // Signed, bytes from 0x80 are below 0x20 too; tab, line feed and return are allowed
        // (tab and return are the two bytes that bit 2 makes a return).
        const __m128i allowed =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(4)), _mm_set1_epi8('\r')),
                         _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
        __m128i hit = _mm_andnot_si128(allowed, _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
        for (int i = 0; i < set.count; ++i)
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(set.bytes[size_t(i)])));
        return unsigned(_mm_movemask_epi8(hit));
    }
}
#endif

// The first byte from `p` on that the set marks. The byte at `end` must be readable and zero,
// so that a scan ends there at the latest; no path reads past it.
template<const StopSet &set, Path path = fastestPath> inline const char *find(const char *p, const char *end)
{
    if constexpr (path == Path::Vectors) {
#if defined(__SSE2__)
        for (; end - p >= 16; p += 16)
            if (const unsigned bits = stopBits<set>(p))
                return p + __builtin_ctz(bits);
#endif
    } else if constexpr (path == Path::Words && !set.name) { // names are short: bytes will do
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (mayStop<set>(word))
                break;
        }
    }
    return scanBytes(p, set.table);
}

// The first byte from `p` on that is no blank, looking at 16 bytes at most: the end of the
// indentation of a line (at most 15 blanks). The 16 bytes from `p` must be readable.
inline const char *blanksEnd(const char *p)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const unsigned other = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))) & 0xFFFFu;
    return p + (other ? __builtin_ctz(other) : 16);
#else
    const char *const end = p + 16;
    while (p < end && *p == ' ')
        ++p;
    return p;
#endif
}

// Whether the `size` bytes at `a` and at `b` are the same; the bytes up to `size` rounded up to
// 16 must be readable at both.
inline bool sameBytes(const char *a, const char *b, size_t size)
{
#if defined(__SSE2__)
    for (size_t at = 0; at < size; at += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + at));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + at));
        const unsigned differ = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFFu;
        const size_t left = size - at;
        if (left < 16 ? differ & ((1u << left) - 1) : differ)
            return false;
    }
    return true;
#else
    return std::memcmp(a, b, size) == 0;
#endif
}

// Copies `size` bytes from `from` to `to`; the bytes up to `size` rounded up to 16 must be
// readable at `from` and writable at `to`.
inline void copyBytes(char *to, const char *from, size_t size)
{
    for (size_t at = 0; at < size; at += 16)
        std::memcpy(to + at, from + at, 16);
}

// Characters of several bytes from `p` on that are well-formed UTF-8 and allowed in XML (all but
// U+FFFE and U+FFFF, as surrogates are no UTF-8): how many bytes they take. Stops at an ASCII
// byte, at a sequence that needs a closer look, and at fewer than four bytes before `end`.
inline size_t validUtf8Run(const char *from, const char *end)
{
    const auto *p = reinterpret_cast<const unsigned char *>(from);
    const auto *last = reinterpret_cast<const unsigned char *>(end) - 4;
    const auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    while (p <= last) {
        const unsigned c = p[0];
        if (c >= 0xC2 && c <= 0xDF && continuation(p[1])) {
            p += 2;
        } else if (c >= 0xE0 && c <= 0xEF && continuation(p[1]) && continuation(p[2]) &&
                   (c != 0xE0 || p[1] >= 0xA0) && (c != 0xED || p[1] <= 0x9F) &&
                   (c != 0xEF || p[1] != 0xBF || p[2] < 0xBE)) {
            p += 3;
        } else if (c >= 0xF0 && c <= 0xF4 && continuation(p[1]) && continuation(p[2]) && continuation(p[3]) &&
                   (c != 0xF0 || p[1] >= 0x90) && (c != 0xF4 || p[1] <= 0x8F)) {
            p += 4;
        } else {
            break;
        }
    }
    return size_t(p - reinterpret_cast<const unsigned char *>(from));
}

} // namespace XmlScan

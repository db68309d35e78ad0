#pragma once

#include <optional>
#include <QHashFunctions>
#include <QSet>
#include <QString>
#include <string_view>

// An ISIN packed into two integers, so that finding it among many compares numbers instead of
// following string pointers: reports hold a million records in no order of ISINs, where every
// pointer followed misses the processor's cache.
struct PackedIsin
{
    quint64 head = 0;
    quint64 tail = 0;

    bool operator==(const PackedIsin &) const = default;
    friend size_t qHash(const PackedIsin &isin, size_t seed = 0)
    {
        return qHashMulti(seed, isin.head, isin.tail);
    }
    size_t hash() const { return qHash(*this, QHashSeed::globalSeed()); } // for OpenTable

    // Nothing for an ISIN over 16 characters or not ASCII.
    static std::optional<PackedIsin> of(const QString &isin)
    {
        return pack(isin.size(), [&isin](qsizetype i) { return isin[i].unicode(); });
    }
    // The same of an ISIN in UTF-8, as a report holds it.
    static std::optional<PackedIsin> of(std::string_view isin)
    {
        return pack(qsizetype(isin.size()), [isin](qsizetype i) { return char16_t(quint8(isin[i])); });
    }

private:
    template<class Unit> static std::optional<PackedIsin> pack(qsizetype size, Unit unitAt)
    {
        if (size > 16)
            return std::nullopt;
        PackedIsin packed;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t unit = unitAt(i);
            // Character 0 is refused too, so that shorter ISINs never pack like longer ones.
            if (unit == 0 || unit > 127)
                return std::nullopt;
            quint64 &word = i < 8 ? packed.head : packed.tail;
            word = (word << 8) | unit;
        }
        return packed;
    }
};

// A set of ISINs, packed where they pack.
class IsinSet
{
public:
    // Whether the ISIN was not in the set yet.
    bool insert(const QString &isin)
    {
        if (const std::optional<PackedIsin> packed = PackedIsin::of(isin)) {
            const qsizetype before = m_packed.size();
            m_packed.insert(*packed);
            return m_packed.size() != before;
        }
        const qsizetype before = m_others.size();
        m_others.insert(isin);
        return m_others.size() != before;
    }
    void clear()
    {
        m_packed.clear();
        m_others.clear();
    }

private:
    QSet<PackedIsin> m_packed;
    QSet<QString> m_others;
};

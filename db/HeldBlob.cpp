#include "db/HeldBlob.h"

#include <QAtomicInt>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

static_assert(sizeof(HeldBlob) == 16, "a record's blob takes two words");

struct HeldBlob::Shared
{
    QAtomicInt ref;
    qint32 size = 0;

    char* data() { return reinterpret_cast<char*>(this + 1); }
};

HeldBlob::HeldBlob(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    if (size <= InlineCapacity) {
        if (size > 0)
            std::memcpy(m_bytes, bytes.constData(), size_t(size));
        m_size = quint8(size);
        return;
    }
    if (size > std::numeric_limits<qint32>::max())
        throw std::bad_alloc();
    void* memory = std::malloc(sizeof(Shared) + size_t(size));
    if (!memory)
        throw std::bad_alloc();
    auto* made = new (memory) Shared;
    made->ref.storeRelaxed(1);
    made->size = qint32(size);
    std::memcpy(made->data(), bytes.constData(), size_t(size));
    setShared(made);
}

HeldBlob::HeldBlob(const HeldBlob& other)
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    m_size = other.m_size;
    if (m_size == OnHeap)
        shared()->ref.ref();
}

HeldBlob::HeldBlob(HeldBlob&& other) noexcept
{
    takeFrom(other);
}

HeldBlob& HeldBlob::operator=(const HeldBlob& other)
{
    if (this != &other) {
        HeldBlob copy(other);
        release();
        takeFrom(copy);
    }
    return *this;
}

HeldBlob& HeldBlob::operator=(HeldBlob&& other) noexcept
{
    if (this != &other) {
        release();
        takeFrom(other);
    }
    return *this;
}

HeldBlob::~HeldBlob()
{
    release();
}

qsizetype HeldBlob::size() const
{
    return m_size == OnHeap ? shared()->size : m_size;
}

QByteArray HeldBlob::bytes() const
{
    return QByteArray(data(), size());
}

bool HeldBlob::sharesStorageWith(const HeldBlob& other) const
{
    return storage() && storage() == other.storage();
}

const void* HeldBlob::storage() const
{
    return m_size == OnHeap ? shared() : nullptr;
}

bool operator==(const HeldBlob& a, const HeldBlob& b)
{
    const qsizetype size = a.size();
    return size == b.size() && (size == 0 || std::memcmp(a.data(), b.data(), size_t(size)) == 0);
}

HeldBlob::Shared* HeldBlob::shared() const
{
    Shared* held = nullptr;
    std::memcpy(&held, m_bytes, sizeof held);
    return held;
}

void HeldBlob::setShared(Shared* shared)
{
    std::memcpy(m_bytes, &shared, sizeof shared);
    m_size = OnHeap;
}

const char* HeldBlob::data() const
{
    return m_size == OnHeap ? shared()->data() : m_bytes;
}

void HeldBlob::release() noexcept
{
    if (m_size == OnHeap) {
        Shared* held = shared();
        if (!held->ref.deref()) {
            held->~Shared();
            std::free(held);
        }
    }
    m_size = 0;
}

void HeldBlob::takeFrom(HeldBlob& other) noexcept
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    m_size = other.m_size;
    other.m_size = 0;
}

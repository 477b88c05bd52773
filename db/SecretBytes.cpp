#include "db/SecretBytes.h"

#include <openssl/crypto.h>

#include <cstring>
#include <utility>

SecretBytes::SecretBytes(qsizetype size)
    : m_data(size > 0 ? std::make_unique<unsigned char[]>(size_t(size)) : nullptr),
      m_size(size > 0 ? size : 0)
{}

SecretBytes::SecretBytes(const void* data, qsizetype size) : SecretBytes(size)
{
    if (m_size > 0)
        std::memcpy(m_data.get(), data, size_t(m_size));
}

SecretBytes SecretBytes::fromUtf8(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    SecretBytes secret(utf8.constData(), utf8.size());
    OPENSSL_cleanse(utf8.data(), size_t(utf8.size()));
    return secret;
}

SecretBytes::~SecretBytes()
{
    wipe();
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : m_data(std::move(other.m_data)), m_size(std::exchange(other.m_size, 0))
{}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        m_data = std::move(other.m_data);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void SecretBytes::wipe()
{
    if (m_data)
        OPENSSL_cleanse(m_data.get(), size_t(m_size));
    m_data.reset();
    m_size = 0;
}

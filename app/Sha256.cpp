#include "app/Sha256.h"

#include <QByteArray>

#include <openssl/evp.h>

#include <array>

void Sha256::FreeContext::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    m_failed = !m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() = default;

void Sha256::add(QByteArrayView bytes)
{
    if (!m_failed && !bytes.isEmpty())
        m_failed = EVP_DigestUpdate(m_context.get(), bytes.data(), size_t(bytes.size())) != 1;
}

QString Sha256::finishHex()
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
    unsigned int length = 0;
    if (m_failed || EVP_DigestFinal_ex(m_context.get(), digest.data(), &length) != 1) {
        m_failed = true;
        return {};
    }
    m_failed = true; // finished: a digest is made once
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char*>(digest.data()), int(length)).toHex());
}

#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

struct evp_md_ctx_st;

// A SHA-256 fed a piece at a time, through libcrypto (the processor's SHA instructions):
// what writes a file hashes its bytes as they go by, instead of reading the file back.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(QByteArrayView bytes);
    // The digest of everything added, in lower-case hex as sha256sum prints it; empty when
    // libcrypto failed. Ends the hash: nothing can be added after.
    QString finishHex();

private:
    struct FreeContext
    {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, FreeContext> m_context;
    bool m_failed = false;
};

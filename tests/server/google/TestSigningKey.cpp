#include "tests/server/google/TestSigningKey.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <memory>

namespace quillfern::testing {
namespace {

// A test cannot go on without its key, so failing here aborts loudly rather than signing garbage.
void require(bool condition)
{
    if (!condition)
        std::abort();
}

QByteArray component(evp_pkey_st *key, const char *name)
{
    BIGNUM *number = nullptr;
    require(EVP_PKEY_get_bn_param(key, name, &number) == 1);
    QByteArray bytes(BN_num_bytes(number), Qt::Uninitialized);
    BN_bn2bin(number, reinterpret_cast<unsigned char *>(bytes.data()));
    BN_free(number);
    return bytes;
}

} // namespace

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

TestSigningKey::TestSigningKey(int bits)
{
    EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    require(context && EVP_PKEY_keygen_init(context) == 1 && EVP_PKEY_CTX_set_rsa_keygen_bits(context, bits) == 1 &&
            EVP_PKEY_generate(context, &m_key) == 1);
    EVP_PKEY_CTX_free(context);
}

TestSigningKey::~TestSigningKey()
{
    EVP_PKEY_free(m_key);
}

QJsonObject TestSigningKey::jwk(const QString &kid) const
{
    return QJsonObject{
        {QStringLiteral("kty"), QStringLiteral("RSA")},
        {QStringLiteral("use"), QStringLiteral("sig")},
        {QStringLiteral("alg"), QStringLiteral("RS256")},
        {QStringLiteral("kid"), kid},
        {QStringLiteral("n"), QString::fromLatin1(base64Url(component(m_key, OSSL_PKEY_PARAM_RSA_N)))},
        {QStringLiteral("e"), QString::fromLatin1(base64Url(component(m_key, OSSL_PKEY_PARAM_RSA_E)))},
    };
}

QByteArray TestSigningKey::signRs256(const QByteArray &input) const
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    std::size_t length = 0;
    require(context && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, m_key) == 1 &&
            EVP_DigestSign(context, nullptr, &length, reinterpret_cast<const unsigned char *>(input.data()),
                           std::size_t(input.size())) == 1);
    QByteArray signature(qsizetype(length), Qt::Uninitialized);
    require(EVP_DigestSign(context, reinterpret_cast<unsigned char *>(signature.data()), &length,
                           reinterpret_cast<const unsigned char *>(input.data()), std::size_t(input.size())) == 1);
    EVP_MD_CTX_free(context);
    signature.truncate(qsizetype(length));
    return signature;
}

QByteArray TestSigningKey::publicKeyPem() const
{
    BIO *memory = BIO_new(BIO_s_mem());
    require(memory && PEM_write_bio_PUBKEY(memory, m_key) == 1);
    char *data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    QByteArray pem(data, qsizetype(length));
    BIO_free(memory);
    return pem;
}

} // namespace quillfern::testing

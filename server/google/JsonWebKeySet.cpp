#include "server/google/JsonWebKeySet.h"

#include "server/google/Base64Url.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

namespace quillfern::server::google {
namespace {

// Smaller RSA keys are factorable by a determined attacker; Google's are 2048 bits. The upper bounds keep a
// hostile key set from making each verification arbitrarily expensive.
constexpr int minimumKeyBits = 2048;
constexpr std::size_t maximumModulusBytes = 16384 / 8;
constexpr std::size_t maximumExponentBytes = 8;

template <class T, void (*Free)(T *)> struct Freer {
    void operator()(T *pointer) const { Free(pointer); }
};
using BigNumber = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;
using ParamBuilder = std::unique_ptr<OSSL_PARAM_BLD, Freer<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Freer<OSSL_PARAM, OSSL_PARAM_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;

BigNumber bigNumber(const std::string &bigEndian)
{
    return BigNumber(
        BN_bin2bn(reinterpret_cast<const unsigned char *>(bigEndian.data()), int(bigEndian.size()), nullptr));
}

std::optional<std::string> decodedMember(const QJsonObject &jwk, QLatin1String name)
{
    const QJsonValue value = jwk.value(name);
    if (!value.isString())
        return std::nullopt;
    return decodeBase64Url(value.toString().toStdString());
}

// A member that, when present, must say exactly `expected`.
bool absentOr(const QJsonObject &jwk, QLatin1String name, QLatin1String expected)
{
    return !jwk.contains(name) || jwk.value(name).toString() == expected;
}

} // namespace

std::shared_ptr<const RsaPublicKey> RsaPublicKey::fromComponents(const std::string &modulus,
                                                                 const std::string &exponent)
{
    if (modulus.empty() || exponent.empty() || modulus.size() > maximumModulusBytes ||
        exponent.size() > maximumExponentBytes)
        return nullptr;
    const BigNumber n = bigNumber(modulus);
    const BigNumber e = bigNumber(exponent);
    const ParamBuilder builder(OSSL_PARAM_BLD_new());
    if (!n || !e || !builder || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
        !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get())) {
        ERR_clear_error();
        return nullptr;
    }
    const Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    const KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY *key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) <= 0 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
        ERR_clear_error();
        return nullptr;
    }
    std::shared_ptr<const RsaPublicKey> result(new RsaPublicKey(key));
    if (result->bits() < minimumKeyBits)
        return nullptr;
    return result;
}

RsaPublicKey::~RsaPublicKey()
{
    EVP_PKEY_free(m_key);
}

int RsaPublicKey::bits() const
{
    return EVP_PKEY_get_bits(m_key);
}

bool RsaPublicKey::verifiesRs256(std::string_view signingInput, std::string_view signature) const
{
    const DigestContext context(EVP_MD_CTX_new());
    const bool verified =
        context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature.data()), signature.size(),
                         reinterpret_cast<const unsigned char *>(signingInput.data()), signingInput.size()) == 1;
    // A refused signature leaves entries in this thread's OpenSSL error queue, which would later be
    // mistaken for a TLS failure on the same thread.
    ERR_clear_error();
    return verified;
}

std::optional<JsonWebKeySet> parseJsonWebKeySet(const std::string &document)
{
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(document), &error);
    if (error.error != QJsonParseError::NoError || !parsed.isObject())
        return std::nullopt;
    const QJsonValue keys = parsed.object().value(QLatin1String("keys"));
    if (!keys.isArray())
        return std::nullopt;

    JsonWebKeySet set;
    for (const QJsonValue &entry : keys.toArray()) {
        const QJsonObject jwk = entry.toObject();
        const QString kid = jwk.value(QLatin1String("kid")).toString();
        if (kid.isEmpty() || jwk.value(QLatin1String("kty")).toString() != QLatin1String("RSA") ||
            !absentOr(jwk, QLatin1String("use"), QLatin1String("sig")) ||
            !absentOr(jwk, QLatin1String("alg"), QLatin1String("RS256")))
            continue;
        const auto modulus = decodedMember(jwk, QLatin1String("n"));
        const auto exponent = decodedMember(jwk, QLatin1String("e"));
        if (!modulus || !exponent)
            continue;
        if (auto key = RsaPublicKey::fromComponents(*modulus, *exponent))
            set.emplace(kid.toStdString(), std::move(key));
    }
    return set;
}

} // namespace quillfern::server::google
